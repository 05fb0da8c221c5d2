#include "app/qt/listbox.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>

#include "app/qt/accessible.h"

ChannelListBox::ChannelListBox(QWidget* parent) : QAbstractItemView(parent) {
    installAccessibleInterfaces();
    setSelectionMode(SingleSelection);
    setSelectionBehavior(SelectRows);
    setEditTriggers(NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void ChannelListBox::setModel(QAbstractItemModel* model) {
    if (QAbstractItemModel* old = this->model()) old->disconnect(this);
    QAbstractItemView::setModel(model);
    if (!model) return;
    // Insertions reach rowsInserted; removals and moves have no such hook.
    connect(model, &QAbstractItemModel::rowsRemoved, this,
            [this](const QModelIndex&, int first, int) { followRows(first); });
    connect(model, &QAbstractItemModel::rowsMoved, this,
            [this](const QModelIndex&, int first, int last, const QModelIndex&, int to) {
                // `to` is the row the lines went before, counted before the move.
                followRows(std::min(first, to), std::max(last, to));
            });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { followRows(0); });
}

void ChannelListBox::setRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    updateGeometries();
    viewport()->update();
}

int ChannelListBox::rows() const {
    return model() ? model()->rowCount(rootIndex()) : 0;
}

int ChannelListBox::firstShownRow() const {
    return verticalScrollBar()->value();
}

int ChannelListBox::shownRows() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

QModelIndex ChannelListBox::indexOf(int row) const {
    if (!model() || row < 0 || row >= rows()) return {};
    return model()->index(row, 0, rootIndex());
}

// Rows from `first` to `last` (-1: to the end) changed: only those of them in view are
// drawn again.
void ChannelListBox::followRows(int first, int last) {
    updateGeometries();
    const int top = (first - firstShownRow()) * rowHeight_;
    const int bottom = last < 0 ? viewport()->height() : (last - firstShownRow() + 1) * rowHeight_;
    const QRect changed = QRect(0, top, viewport()->width(), bottom - top) & viewport()->rect();
    if (!changed.isEmpty()) viewport()->update(changed);
}

int ChannelListBox::count() const {
    return rows();
}

int ChannelListBox::currentRow() const {
    QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void ChannelListBox::setCurrentRow(int row) {
    if (!selectionModel()) return;
    QModelIndex index = indexOf(row);
    if (index.isValid())
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    else
        selectionModel()->clear();
}

QList<int> ChannelListBox::selectedRows() const {
    QList<int> out;
    if (!selectionModel()) return out;
    for (const QModelIndex& index : selectionModel()->selectedIndexes()) out << index.row();
    std::sort(out.begin(), out.end());
    return out;
}

QString ChannelListBox::itemText(int row) const {
    QModelIndex index = indexOf(row);
    return index.isValid() ? index.data(Qt::DisplayRole).toString() : QString();
}

bool ChannelListBox::isRowSelected(int row) const {
    QModelIndex index = indexOf(row);
    return index.isValid() && selectionModel() && selectionModel()->isSelected(index);
}

void ChannelListBox::chooseRow(int row) {
    if (row < 0 || row >= rows()) return;
    if (isRowSelected(row)) {
        emit lineChosenAgain();
        return;
    }
    setCurrentRow(row);
}

QRect ChannelListBox::rowRect(int row) const {
    return visualRect(indexOf(row));
}

QRect ChannelListBox::visualRect(const QModelIndex& index) const {
    if (!index.isValid()) return {};
    return QRect(0, (index.row() - firstShownRow()) * rowHeight_, viewport()->width(), rowHeight_);
}

void ChannelListBox::scrollTo(const QModelIndex& index, ScrollHint hint) {
    if (!index.isValid()) return;
    const int row = index.row();
    const int first = firstShownRow();
    const int shown = shownRows();
    int top = first;
    switch (hint) {
        case EnsureVisible:
            if (row < first)
                top = row;
            else if (row >= first + shown)
                top = row - shown + 1;
            break;
        case PositionAtTop:
            top = row;
            break;
        case PositionAtBottom:
            top = row - shown + 1;
            break;
        case PositionAtCenter:
            top = row - shown / 2;
            break;
    }
    verticalScrollBar()->setValue(top);
}

QModelIndex ChannelListBox::indexAt(const QPoint& point) const {
    if (point.y() < 0 || point.x() < 0 || point.x() >= viewport()->width()) return {};
    return indexOf(firstShownRow() + point.y() / rowHeight_);
}

QModelIndex ChannelListBox::moveCursor(CursorAction action, Qt::KeyboardModifiers) {
    const int count = rows();
    if (count == 0) return {};
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return indexOf(0);
    int row = current.row();
    switch (action) {
        case MoveUp:
        case MovePrevious:
            --row;
            break;
        case MoveDown:
        case MoveNext:
            ++row;
            break;
        case MovePageUp:
            row -= shownRows();
            break;
        case MovePageDown:
            row += shownRows();
            break;
        case MoveHome:
            row = 0;
            break;
        case MoveEnd:
            row = count - 1;
            break;
        case MoveLeft:
        case MoveRight:
            break;
    }
    return indexOf(std::clamp(row, 0, count - 1));
}

int ChannelListBox::verticalOffset() const {
    return firstShownRow() * rowHeight_;
}

void ChannelListBox::setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) {
    if (!selectionModel()) return;
    const QRect r = rect.normalized();
    const int first = firstShownRow();
    const int top = std::max(0, first + r.top() / rowHeight_);
    const int bottom = std::min(rows() - 1, first + r.bottom() / rowHeight_);
    if (r.bottom() < 0 || top > bottom) {
        selectionModel()->select(QItemSelection(), command);
        return;
    }
    selectionModel()->select(QItemSelection(indexOf(top), indexOf(bottom)), command);
}

QRegion ChannelListBox::visualRegionForSelection(const QItemSelection& selection) const {
    QRegion region;
    const int first = firstShownRow();
    const int last = first + shownRows();  // one more: a part row may show at the bottom
    for (const QItemSelectionRange& range : selection) {
        const int top = std::max(range.top(), first);
        const int bottom = std::min(range.bottom(), last);
        if (top > bottom) continue;
        region += QRect(0, (top - first) * rowHeight_, viewport()->width(),
                        (bottom - top + 1) * rowHeight_);
    }
    return region;
}

void ChannelListBox::updateGeometries() {
    const int shown = shownRows();
    verticalScrollBar()->setSingleStep(1);
    verticalScrollBar()->setPageStep(shown);
    verticalScrollBar()->setRange(0, std::max(0, rows() - shown));
    QAbstractItemView::updateGeometries();
}

void ChannelListBox::scrollContentsBy(int, int dy) {
    viewport()->scroll(0, dy * rowHeight_);
}

// Each row as a list box draws it: its text, on the highlight when selected, and the
// focus frame on the current row. Drawn here rather than by an item delegate, whose
// general layout of icon, check and text costs more than the text itself.
void ChannelListBox::paintEvent(QPaintEvent* event) {
    if (!model()) return;
    QPainter painter(viewport());
    const QPalette& pal = palette();
    const QPalette::ColorGroup group = !isEnabled()       ? QPalette::Disabled
                                       : isActiveWindow() ? QPalette::Active
                                                          : QPalette::Inactive;
    const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
    const QModelIndex current = currentIndex();
    const bool focus = (hasFocus() || viewport()->hasFocus()) && current.isValid();
    const int first = firstShownRow();
    const int from = first + std::max(0, event->rect().top()) / rowHeight_;
    const int to = std::min(rows() - 1, first + event->rect().bottom() / rowHeight_);
    for (int row = from; row <= to; ++row) {
        const QModelIndex index = indexOf(row);
        const QRect rect = visualRect(index);
        const bool selected = selectionModel() && selectionModel()->isSelected(index);
        if (selected) painter.fillRect(rect, pal.brush(group, QPalette::Highlight));
        painter.setPen(pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(rect.adjusted(margin, 0, -margin, 0),
                         Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         index.data(Qt::DisplayRole).toString());
        if (focus && index == current) {
            QStyleOptionFocusRect frame;
            frame.initFrom(this);
            frame.rect = rect;
            frame.backgroundColor =
                pal.color(group, selected ? QPalette::Highlight : QPalette::Base);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
        }
    }
    // Focus on a list without a current line still shows where the keyboard is.
    if ((hasFocus() || viewport()->hasFocus()) && !current.isValid()) {
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.rect = viewport()->rect();
        frame.backgroundColor = pal.color(group, QPalette::Base);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
}

void ChannelListBox::rowsInserted(const QModelIndex& parent, int start, int end) {
    QAbstractItemView::rowsInserted(parent, start, end);
    followRows(start);
}

void ChannelListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QAbstractItemView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClickedAnywhere();
}

void ChannelListBox::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier) {
        chooseRow(currentRow());
        event->accept();
        return;
    }
    QAbstractItemView::keyPressEvent(event);
}

void ChannelListBox::focusInEvent(QFocusEvent* event) {
    QAbstractItemView::focusInEvent(event);
    viewport()->update();  // the focus frame
    announceCurrentLine();
}

void ChannelListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QAbstractItemView::currentChanged(current, previous);
    if (hasFocus()) announceCurrentLine();
}

void ChannelListBox::selectionChanged(const QItemSelection& selected,
                                      const QItemSelection& deselected) {
    QAbstractItemView::selectionChanged(selected, deselected);
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    if (!list) return;
    QAccessible::State changed;
    changed.selected = true;
    for (const QItemSelection* lines : {&deselected, &selected})
        for (const QModelIndex& index : lines->indexes())
            if (QAccessibleInterface* line = list->child(index.row())) {
                QAccessibleStateChangeEvent event(line, changed);
                QAccessible::updateAccessibility(&event);
            }
}

void ChannelListBox::announceCurrentLine() {
    const int row = currentRow();
    if (row < 0 || !QAccessible::isActive()) return;
    QAccessibleEvent event(this, QAccessible::Focus);
    event.setChild(row);
    QAccessible::updateAccessibility(&event);
}

QItemSelectionModel::SelectionFlags ChannelListBox::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const {
    QItemSelectionModel::SelectionFlags command = QAbstractItemView::selectionCommand(index, event);
    if (!index.isValid() || (command & QItemSelectionModel::Deselect))
        return QItemSelectionModel::NoUpdate;
    return command;
}
