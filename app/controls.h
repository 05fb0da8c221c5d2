// Small widget helpers the two windows share.
#pragma once

#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <exception>
#include <utility>

// Gives every row of a list the same height.
class FixedRowHeightDelegate : public QStyledItemDelegate {
  public:
    FixedRowHeightDelegate(int height, QObject* parent)
        : QStyledItemDelegate(parent), height_(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  private:
    int height_;
};

// Changes made by code run their handler themselves, once per actual change: these set
// a control with its signals blocked and tell whether anything changed.
bool setPositionQuietly(QScrollBar* bar, int position);  // clamped to the bar's range
bool checkQuietly(QRadioButton* button, QRadioButton* other);

// The look both windows share: the window font and a button-face background.
void useWindowFace(QWidget* window);

// A label's caption; the label widens to show the whole text (it never narrows below
// its laid-out width).
void setCaption(QLabel* label, const QString& text);

// The central error handler: shows an error that escaped a handler in the standard
// error dialog. The window stays as the handler left it.
void showHandlerError(std::exception_ptr error);

// Runs one handler at the boundary between the toolkit and the window code; errors
// stop the handler and go to the central error handler.
template <class Handler>
void runHandler(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        showHandlerError(std::current_exception());
    }
}
