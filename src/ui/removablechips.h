#pragma once

#include <QList>
#include <QVariant>
#include <QWidget>

#include <functional>

class QVariantAnimation;

namespace velmora {

// Selected values shown as small capsule chips that wrap onto rows, each with its text and an
// x button that asks for the value's removal (the owner removes it and sets the new items). The
// container hugs its content; chips that appear, disappear or move animate with
// Animation::standard(), at once under Reduce Motion. Items are identified by their own value.
class RemovableChips : public QWidget {
    Q_OBJECT
public:
    // title and removeLabel give each item's chip text and its x button's accessible name and
    // hover tip, already translated; they are asked again when the language changes.
    RemovableChips(std::function<QString(const QVariant &)> title, std::function<QString(const QVariant &)> removeLabel,
                   QWidget *parent = nullptr);

    void setItems(const QVariantList &items);
    QVariantList items() const { return m_items; }

    // The chip of an item, or null.
    QWidget *chip(const QVariant &item) const;
    // The chip's x button.
    QWidget *removeButton(const QVariant &item) const;

    static int chipHeight(int textSizePosition);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    void removeRequested(const QVariant &item);

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void relayout(bool animate);
    QList<QRectF> frames(qreal width) const;

    std::function<QString(const QVariant &)> m_title;
    std::function<QString(const QVariant &)> m_removeLabel;
    QVariantList m_items;
    QList<QWidget *> m_chips;
    QVariantAnimation *m_animation;
    QList<QRect> m_from;
    QList<QRect> m_to;
};

} // namespace velmora
