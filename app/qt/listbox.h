// The channel list box: a single-selection list of equal rows over a model. It asks the
// model only for the rows it shows, so a list of any length costs the same to select in,
// add to, delete from and reorder.
#pragma once

#include <QAbstractItemView>
#include <QList>

class ChannelListBox : public QAbstractItemView {
    Q_OBJECT
  public:
    explicit ChannelListBox(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;
    void setRowHeight(int height);
    int rowHeight() const { return rowHeight_; }

    // The list-box side: number of rows, the current row, the selected rows, one row's
    // text and place (-1 and empty where there is none).
    int count() const;
    int currentRow() const;
    // Makes `row` current and the one selected; -1 clears both.
    void setCurrentRow(int row);
    QList<int> selectedRows() const;
    QString itemText(int row) const;
    bool isRowSelected(int row) const;
    QRect rowRect(int row) const;
    // The user chooses `row` (Enter, a screen reader's action): it becomes the selected
    // line, which runs the channel selection; the line already selected is chosen again.
    void chooseRow(int row);

    QRect visualRect(const QModelIndex& index) const override;
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    QModelIndex indexAt(const QPoint& point) const override;

  signals:
    // Every double click, also below the last line, after the click's own selection change.
    void doubleClickedAnywhere();
    // The selected line chosen again (Enter on it): the channel selection runs once more.
    void lineChosenAgain();

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    int horizontalOffset() const override { return 0; }
    int verticalOffset() const override;
    bool isIndexHidden(const QModelIndex&) const override { return false; }
    void setSelection(const QRect& rect, QItemSelectionModel::SelectionFlags command) override;
    QRegion visualRegionForSelection(const QItemSelection& selection) const override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void paintEvent(QPaintEvent* event) override;
    void rowsInserted(const QModelIndex& parent, int start, int end) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    // A screen reader follows the current line and hears which line is selected.
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;
    // Like a single-selection list box: a click beside the lines or with Ctrl on the
    // selected line leaves the selection as it is; only choosing another line changes it.
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override;

  private:
    int rows() const;
    int firstShownRow() const;
    int shownRows() const;  // rows that fit the viewport whole (at least one)
    QModelIndex indexOf(int row) const;
    void followRows(int first, int last = -1);
    void announceCurrentLine();

    int rowHeight_ = 19;
};
