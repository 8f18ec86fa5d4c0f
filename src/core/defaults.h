#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace velmora {

// The typed user defaults: each value keeps its type (bool, integer, real, string, string list,
// data) and is saved as JSON in the user's config folder, written atomically on every change.
// Launch arguments "-key value" overlay the stored values read-only, as an argument domain.
class Defaults : public QObject {
    Q_OBJECT
public:
    enum class Type { Bool, Integer, Real, String, StringList, Data };

    // A store kept in filePath; an empty path keeps values in memory only.
    explicit Defaults(QString filePath, QObject *parent = nullptr);

    // The application's store: $XDG_CONFIG_HOME/com.velmora.app/defaults.json.
    static QString standardFilePath();

    // Sets the launch-argument overlay from argv-style arguments ("-key value" pairs).
    void setArguments(const QStringList &arguments);
    // The overlay value of key, as typed on the command line.
    std::optional<QString> argument(const QString &key) const;

    bool contains(const QString &key) const;
    // The value with its stored type, the overlay's text winning; invalid when absent.
    QVariant value(const QString &key) const;
    std::optional<Type> storedType(const QString &key) const;

    // Typed reads: absent or unconvertible values give the fallback.
    bool boolValue(const QString &key, bool fallback = false) const;
    qint64 integer(const QString &key, qint64 fallback = 0) const;
    double real(const QString &key, double fallback = 0) const;
    QString string(const QString &key, const QString &fallback = {}) const;
    QStringList stringList(const QString &key, const QStringList &fallback = {}) const;
    QByteArray data(const QString &key, const QByteArray &fallback = {}) const;

    void setBool(const QString &key, bool v);
    void setInteger(const QString &key, qint64 v);
    void setReal(const QString &key, double v);
    void setString(const QString &key, const QString &v);
    void setStringList(const QString &key, const QStringList &v);
    void setData(const QString &key, const QByteArray &v);
    void remove(const QString &key);

    // Whether the last save reached the disk.
    bool lastSaveSucceeded() const { return m_lastSaveOk; }
    const QString &filePath() const { return m_path; }

signals:
    void changed(const QString &key);

private:
    struct Entry {
        Type type;
        QVariant value;
    };
    void load();
    void set(const QString &key, Type type, QVariant value);
    void save();

    QString m_path;
    QHash<QString, Entry> m_values;
    QHash<QString, QString> m_arguments;
    bool m_lastSaveOk = true;
};

} // namespace velmora
