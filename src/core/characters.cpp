#include "core/characters.h"

#include <QList>
#include <QTextBoundaryFinder>

namespace velmora {

qint64 countCharacters(const QString &text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qint64 count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString firstCharacters(const QString &text, qint64 count) {
    if (count <= 0)
        return {};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qint64 i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        end = next;
    }
    return text.left(end);
}

QString trimmedBy(const QString &text, const std::function<bool(char32_t)> &isTrimmed) {
    const auto codePoints = text.toUcs4();
    qsizetype begin = 0, end = codePoints.size();
    while (begin < end && isTrimmed(codePoints[begin]))
        ++begin;
    while (end > begin && isTrimmed(codePoints[end - 1]))
        --end;
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(codePoints.constData()) + begin, end - begin);
}

} // namespace velmora
