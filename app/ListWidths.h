#pragma once
// Column widths for a first start: wide enough for typical content, so that neither the
// header's caption nor a cell is cut before the user has set a width. A width stored in the
// settings always wins over these.
#include <QString>
#include <QStringList>

class QFontMetrics;
class QTreeView;

namespace ListWidths {

// Typical content of the magazine list's columns ("マガジン名", "参加人数").
QStringList magazineSamples();
// Typical content of the history list's columns ("件名", "発行番号", "発行日", "発行数", "条件",
// "状態").
QStringList historySamples();
// Typical content of a member-list column, by field number (0 name, 1 address, ... 10 sign-up).
QString memberSample(int field);

// The width that shows `caption` in the header and `sample` in a cell without cutting either;
// the paddings are what the style puts around the text, `icon` the room of a cell's mark.
struct Padding {
    int header = 0;
    int cell = 0;
    int icon = 0;
};
int fit(const QFontMetrics &header, const QFontMetrics &cells, const QString &caption, const QString &sample,
        const Padding &padding);

// The style's paddings of a view's header and cells.
Padding padding(const QTreeView *view);
// fit() for column `column` of `view` with its header caption; column 0 has room for a mark.
int fitColumn(const QTreeView *view, int column, const QString &sample);

} // namespace ListWidths
