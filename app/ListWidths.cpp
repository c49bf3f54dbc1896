#include "app/ListWidths.h"

#include <QAbstractItemModel>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>

namespace ListWidths {

QStringList magazineSamples()
{
    return {QStringLiteral("ツバメ便ニュース"), QStringLiteral("12345")};
}

QStringList historySamples()
{
    return {QStringLiteral("ツバメ便ニュース 第123号"), QStringLiteral("12345"), QStringLiteral("2024/01/05 12:34:56"),
            QStringLiteral("12345"), QStringLiteral("すべて（無条件）"), QStringLiteral("一部失敗")};
}

QString memberSample(int field)
{
    switch (field) {
    case 0: return QStringLiteral("山田 太郎 (営業部)");
    case 1: return QStringLiteral("yamada.taro@example.co.jp");
    case 2: return QStringLiteral("https://www.example.co.jp/");
    case 3:
    case 4:
    case 5: return QStringLiteral("OFF");
    case 6:
    case 7: return QStringLiteral("1,234,567");
    default: return QStringLiteral("2024/01/05");
    }
}

int fit(const QFontMetrics &header, const QFontMetrics &cells, const QString &caption, const QString &sample,
        const Padding &padding)
{
    return qMax(header.horizontalAdvance(caption) + padding.header,
                cells.horizontalAdvance(sample) + padding.cell + padding.icon);
}

Padding padding(const QTreeView *view)
{
    const QStyle *style = view->style();
    Padding p;
    // Room for the sort arrow too: a sorted column must not cut its caption.
    p.header = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, view)
             + style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, view) + 8;
    p.cell = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1) + 8;
    p.icon = style->pixelMetric(QStyle::PM_SmallIconSize, nullptr, view) + 4;
    return p;
}

int fitColumn(const QTreeView *view, int column, const QString &sample)
{
    Padding p = padding(view);
    if (column != 0)
        p.icon = 0;
    const QString caption =
        view->model() ? view->model()->headerData(column, Qt::Horizontal).toString() : QString();
    return fit(view->header()->fontMetrics(), view->fontMetrics(), caption, sample, p);
}

} // namespace ListWidths
