#pragma once

#include <QWidget>

namespace velmora {

// A count in an attention-coloured capsule, beside a row's title. The number is formatted in the
// system's locale (grouping separators included), not the in-app language. Always its ideal
// size: never squeezed or truncated by its row.
class Badge : public QWidget {
    Q_OBJECT
public:
    explicit Badge(qint64 count = 0, QWidget *parent = nullptr);

    qint64 count() const { return m_count; }
    void setCount(qint64 count);
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    qint64 m_count;
};

// An empty state's picture: a symbol in a rounded tile with a soft fill and a fine border,
// growing with the text size. Hidden from screen readers; the text beside it says what is missing.
class EmptyStateIcon : public QWidget {
    Q_OBJECT
public:
    explicit EmptyStateIcon(const QString &symbol, QWidget *parent = nullptr);

    void setSymbol(const QString &symbol);
    QString symbol() const { return m_symbol; }
    int tileSide() const;
    int symbolPointSize() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_symbol;
};

} // namespace velmora
