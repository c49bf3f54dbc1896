#include "MemberList.h"

#include "HeaderSort.h"
#include "ListWidths.h"
#include "widgets/ProgressWindow.h"
#include "members/CurrentMagazine.h"
#include "members/MemberBounceColumns.h"
#include "members/MemberEntry.h"
#include "members/ui/FDispOptDlg.h"
#include "members/ui/FUserDlg.h"
#include "members/ui/MagazineGuard.h"
#include "members/MemberListModel.h"
#include "members/UAddress.h"
#include "members/UMemberOrder.h"
#include "store/AppSettings.h"
#include "store/Database.h"
#include "store/MemberSql.h"
#include "widgets/Command.h"
#include "widgets/MessageBox.h"
#include "widgets/TextDropTarget.h"
#include "widgets/WaitCursor.h"

#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QAction>
#include <QMenu>
#include <QStyle>

#include <algorithm>
#include <functional>
#include <vector>

TMemberList::TMemberList(const CurrentMagazine &magazine, QWidget *parent)
    : QTreeView(parent), m_magazine(magazine), m_model(new TMemberListModel(this))
{
    setObjectName(QStringLiteral("ListView2"));
    m_columnMap.fill(-1);
    m_showBounces = AppSettings::readInt(QStringLiteral("MemberListBounces"), 0) != 0;
    m_model->setSleepIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    setModel(m_model);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setContextMenuPolicy(Qt::CustomContextMenu);
    header()->setSectionsClickable(true);
    header()->setStretchLastSection(false);
    auto *target = new TextDropTarget(viewport());
    connect(target, &TextDropTarget::dropped, this, &TMemberList::OleDropTarget1Drop);
    buildContextMenu();
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { m_menu->popup(viewport()->mapToGlobal(pos)); });
    // A click on a column title flips the header's indicator before anyone hears of the click;
    // the indicator changing is what sorts.
    HeaderSort::clear(*header());
    connect(header(), &QHeaderView::sortIndicatorChanged, this, &TMemberList::SortMembers);
    connect(this, &QTreeView::doubleClicked, this, [this] { E3Click(); });
    connect(&magazine, &CurrentMagazine::changed, this, &TMemberList::followMagazine);
}

void TMemberList::buildContextMenu()
{
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("PopupMenu1"));
    auto add = [this](QMenu *menu, const QString &caption, const char *handler, int tag, const QKeySequence &key,
                      const std::function<void()> &slot) {
        QAction *a = menu->addAction(caption);
        a->setObjectName(QStringLiteral("popup_%1_%2").arg(QLatin1String(handler)).arg(tag));
        a->setData(tag);
        connect(a, &QAction::triggered, this, [slot] { slot(); });
        if (!key.isEmpty()) {
            // The shortcuts act on the selected members, so they work while the list has the
            // focus and the menu is closed, and nowhere else: typed in the mail, Ctrl+F1 must
            // not change a member on a page that is not even shown.
            a->setShortcut(key);
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            addAction(a);
        }
    };
    add(m_menu, QStringLiteral("メンバー追加(&A)"), "A1Click", 0, {}, [this] { A1Click(); });
    add(m_menu, QStringLiteral("メンバー修正(&E)"), "E3Click", 0, {}, [this] { E3Click(); });
    add(m_menu, QStringLiteral("メンバー削除(&D)"), "yu1Click", 0, {}, [this] { yu1Click(); });
    m_menu->addSeparator();
    QMenu *on = m_menu->addMenu(QStringLiteral("フラグON(&N)"));
    QMenu *off = m_menu->addMenu(QStringLiteral("フラグOFF(&F)"));
    QMenu *counters = m_menu->addMenu(QStringLiteral("カウンタ設定(&C)"));
    QMenu *dates = m_menu->addMenu(QStringLiteral("日付設定(&H)"));
    const Qt::Key flagKeys[] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3};
    for (const MemberField f : MemberFields::kFlags) {
        const int n = MemberFields::number(f);
        const QString caption = QStringLiteral("フラグ%1").arg(QChar(0xFF10 + n));
        const Qt::Key key = flagKeys[n - 1];
        add(on, caption, "A4Click", MemberFields::menuTag(f), QKeySequence(Qt::CTRL | key),
            [this, f] { A4Click(f, true); });
        add(off, caption, "A4Click", MemberFields::kFlagOffTag + MemberFields::menuTag(f),
            QKeySequence(Qt::SHIFT | key), [this, f] { A4Click(f, false); });
    }
    const Qt::Key valueKeys[] = {Qt::Key_F6, Qt::Key_F7};
    for (size_t i = 0; i < MemberFields::kCounters.size(); ++i) {
        const MemberField counter = MemberFields::kCounters[i];
        const MemberField date = MemberFields::kDates[i];
        add(counters, QStringLiteral("カウンタ%1").arg(QChar(0xFF10 + MemberFields::number(counter))), "N15Click",
            MemberFields::menuTag(counter), QKeySequence(Qt::CTRL | valueKeys[i]), [this, counter] { N15Click(counter); });
        add(dates, QStringLiteral("日付%1").arg(QChar(0xFF10 + MemberFields::number(date))), "N16Click",
            MemberFields::menuTag(date), QKeySequence(Qt::SHIFT | valueKeys[i]), [this, date] { N16Click(date); });
    }
    m_menu->addSeparator();
    add(m_menu, QStringLiteral("休止・再開(&S)"), "S2Click", 0, {}, [this] { S2Click(); });
}

QAction *TMemberList::contextAction(const QString &name) const
{
    return m_menu->findChild<QAction *>(name);
}

void TMemberList::followMagazine()
{
    saveColumnWidths();
    BuildMemberColumns();
    LoadMemberRows(m_magazine.CurMagIdx());
}

void TMemberList::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Delete) {
        yu1Click();
        return;
    }
    if (event->modifiers() == Qt::NoModifier && event->key() == Qt::Key_Insert) {
        A1Click();
        return;
    }
    QTreeView::keyPressEvent(event);
}

QList<int> TMemberList::selectedRowNumbers() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    // Whole rows are selected, so the ranges name the rows; reading them beats asking the
    // selection about every row when tens of thousands are selected.
    std::vector<bool> picked(size_t(m_model->rowCount()), false);
    for (const QItemSelectionRange &range : selectionModel()->selection())
        for (int row = std::max(0, range.top()); row <= range.bottom() && row < int(picked.size()); ++row)
            picked[size_t(row)] = true;
    for (int row = 0; row < int(picked.size()); ++row)
        if (picked[size_t(row)])
            rows << row;
    return rows;
}

QList<int> TMemberList::commandRows() const
{
    return m_magazine.isChosen() ? selectedRowNumbers() : QList<int>();
}

QList<int> TMemberList::selectedMembers() const
{
    QList<int> members;
    for (int row : commandRows())
        members << m_model->userIdx(row);
    return members;
}

int TMemberList::columnOf(int field) const
{
    const auto it = std::find(m_columnMap.begin(), m_columnMap.end(), field);
    return it == m_columnMap.end() ? -1 : int(it - m_columnMap.begin());
}

void TMemberList::saveColumnWidths() const
{
    const auto s = AppSettings::open();
    const int n = header()->count();
    for (int i = 0; i < n; ++i)
        s->setValue(QStringLiteral("List2Width%1").arg(i + 1), header()->sectionSize(i));
}

void TMemberList::BuildMemberColumns()
{
    TMemberListModel *model = m_model;
    m_columnMap.fill(-1);
    HeaderSort::clear(*header());
    const auto setting = MemberOrder::load(m_magazine.CurMagIdx());
    if (!setting) {
        model->setColumns({}, {});
        return;
    }
    const QList<int> fields = MemberOrder::shownColumns(*setting, int(m_columnMap.size()));
    const QStringList all =
        MemberOrder::captions(m_magazine.isChosen() ? m_magazine.MagFieldNames() : MemberOrder::placeholderFieldNames());
    QStringList captions;
    for (int k = 0; k < fields.size(); ++k) {
        m_columnMap[size_t(k)] = fields[k];
        captions << all[fields[k]];
    }
    QList<int> columns = fields;
    if (m_showBounces && fields.size() + 2 <= int(m_columnMap.size())) {
        for (const int f : MemberBounceColumns::fields()) {
            m_columnMap[size_t(columns.size())] = f;
            columns << f;
        }
        captions << MemberBounceColumns::captions();
    }
    model->setColumns(columns, captions);
    const auto s = AppSettings::open();
    for (int n = 1; n <= columns.size(); ++n) {
        const QString name = QStringLiteral("List2Width%1").arg(n);
        header()->resizeSection(n - 1, s->contains(name) ? s->value(name).toInt()
                                                         : ListWidths::fitColumn(this, n - 1,
                                                                                 ListWidths::memberSample(columns[n - 1])));
    }
}

void TMemberList::LoadMemberRows(int magIdx)
{
    TMemberListModel *model = m_model;
    WaitCursor wait;
    Command::run(window(), [model, magIdx] { model->load(magIdx); });
}

void TMemberList::N45Click()
{
    LoadMemberRows(m_magazine.CurMagIdx());
}

void TMemberList::ListView2ColumnClick(int column)
{
    if (!m_magazine.isChosen())
        return;
    // The header's indicator changing sorts the rows, as after a click on the header itself.
    header()->setSortIndicator(column, HeaderSort::nextOrder(*header(), column));
}

void TMemberList::SortMembers(int column, Qt::SortOrder order)
{
    if (column < 0 || !m_magazine.isChosen())
        return;
    m_sortDescending = order == Qt::DescendingOrder;
    m_sortColumn = column;
    header()->setSortIndicatorShown(true);
    WaitCursor wait;
    m_model->sortRows(column, m_sortDescending);
}

void TMemberList::O1Click()
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    TDispOptDlg dlg(m_magazine.CurMagIdx(), m_magazine.MagFieldNames(), window());
    if (dlg.exec() != QDialog::Accepted)
        return;
    BuildMemberColumns();
    LoadMemberRows(m_magazine.CurMagIdx());
}

void TMemberList::Bounces1Click()
{
    m_showBounces = !m_showBounces;
    AppSettings::writeInt(QStringLiteral("MemberListBounces"), m_showBounces ? 1 : 0);
    BuildMemberColumns();
    LoadMemberRows(m_magazine.CurMagIdx());
}

void TMemberList::A1Click()
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    TUserDlg dlg(window());
    dlg.setRecord(MemberEntry::blank(m_magazine.CurMagIdx()));
    dlg.setSave(MemberEntry::save);
    dlg.setFieldNames(m_magazine.MagFieldNames(), true);
    if (dlg.exec() != QDialog::Accepted)
        return;
    TMemberListModel *model = m_model;
    model->appendRow(dlg.UserIdx(), dlg.SleepValue() == 1, MemberCells::cells(dlg.record(), model->fields()));
    Q_EMIT countChanged();
}

void TMemberList::E3Click()
{
    const QList<int> rows = commandRows();
    if (rows.isEmpty())
        return;
    TMemberListModel *model = m_model;
    const int row = rows.first();
    MemberRecord stored;
    if (!Command::run(window(), [&] { stored = MemberEntry::stored(m_magazine.CurMagIdx(), model->userIdx(row)); }))
        return;
    TUserDlg dlg(window());
    dlg.setRecord(stored);
    dlg.setSave(MemberEntry::save);
    dlg.setFieldNames(m_magazine.MagFieldNames(), true);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const MemberRecord m = dlg.record();
    model->setRow(row, m.sleep, MemberCells::cells(m, model->fields()));
}

void TMemberList::yu1Click()
{
    const QList<int> rows = commandRows();
    if (rows.isEmpty())
        return;
    TMemberListModel *model = m_model;
    QString question;
    if (rows.size() > 1) {
        question = QStringLiteral("選択された複数のメンバーを削除します。よろしいですか？");
    } else {
        QString name = model->cell(rows.first(), 0);
        if (name.isEmpty())
            name = model->cell(rows.first(), 1);
        question = QStringLiteral("「%1」を削除します。よろしいですか？").arg(name);
    }
    if (MessageBox::confirm(window(), question, MessageBox::Buttons::YesNoCancel) != MessageBox::Answer::Yes)
        return;
    WaitCursor wait;
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [&] {
        QList<int> userIdxs;
        userIdxs.reserve(rows.size());
        for (int row : rows)
            userIdxs << model->userIdx(row);
        {
            ProgressWindow progress(window(), QStringLiteral("削除中"), ProgressWindow::Cancel::NotOffered);
            MemberSql::remove(magIdx, userIdxs, [&progress](qint64 done, qint64 total) { progress.update(done, total); });
        }
        // only once the store has taken them: a refusal leaves the list as it was
        model->removeRowSet(rows);
    });
    Q_EMIT countChanged();
}

void TMemberList::S2Click()
{
    const QList<int> rows = commandRows();
    if (rows.isEmpty())
        return;
    TMemberListModel *model = m_model;
    WaitCursor wait;
    const int magIdx = m_magazine.CurMagIdx();
    Command::run(window(), [&] {
        QList<MemberSql::SleepChange> changes;
        for (int row : rows)
            changes.append({model->userIdx(row), !model->sleep(row)});
        MemberSql::setSleep(magIdx, changes);
        QList<int> members;
        for (const MemberSql::SleepChange &c : changes)
            members << c.userIdx;
        model->refresh(magIdx, members);
    });
}

void TMemberList::DroppedTextReady()
{
    const AddressText parsed = ParseAddressText(m_droppedText);
    if (parsed.name.isEmpty() && parsed.address.isEmpty())
        return;
    // The drop target asks for a magazine first; should one be gone meanwhile, no member
    // may be written without one.
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    window()->activateWindow();
    window()->raise();
    MemberRecord added = MemberEntry::blank(m_magazine.CurMagIdx());
    added.name = parsed.name;
    added.address = parsed.address;
    TUserDlg dlg(window());
    dlg.setRecord(added);
    dlg.setSave(MemberEntry::save);
    dlg.setFieldNames(m_magazine.MagFieldNames(), false);
    if (dlg.exec() != QDialog::Accepted)
        return;
    LoadMemberRows(m_magazine.CurMagIdx());
    Q_EMIT countChanged();
}

void TMemberList::OleDropTarget1Drop(const QString &text)
{
    if (!RequireMagazine(window(), m_magazine.CurMagIdx()))
        return;
    QString t = text.left(text.indexOf(QChar(0)) >= 0 ? text.indexOf(QChar(0)) : text.size());
    qsizetype b = 0;
    qsizetype e = t.size();
    while (b < e && t[b].unicode() <= 0x20)
        ++b;
    while (e > b && t[e - 1].unicode() <= 0x20)
        --e;
    m_droppedText = t.mid(b, e - b);
    // the member dialog opens after the drag-and-drop has returned to its source
    QMetaObject::invokeMethod(this, &TMemberList::DroppedTextReady, Qt::QueuedConnection);
}
