// Small widget helpers the two windows share.
#pragma once

#include <QLabel>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <exception>
#include <functional>
#include <initializer_list>
#include <utility>

#include "core/handlergate.h"

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

// A reason shown without a box: the widget's tooltip, and a colour for `role` while there
// is one, `onLight` where the widget's background is light and `onDark` where it is dark.
// Empty takes both away (the widget has no colours of its own besides); the tooltip is
// `resting` then.
void showNotice(QWidget* widget, const QString& text, QPalette::ColorRole role,
                const QColor& onLight, const QColor& onDark, const QString& resting = {});

// Draws the focus frame on a control whose style shows none (a slider).
void showFocusFrame(QWidget* widget);

// Whether dark text reads on `background` (else light text does).
bool isLight(const QColor& background);

// The look both windows share: the window font and a button-face background.
void useWindowFace(QWidget* window);

// A label's caption; the label widens to show the whole text (it never narrows below
// its laid-out width).
void setCaption(QLabel* label, const QString& text);

// The central error handler: shows an error that escaped a handler in the standard
// error dialog. The window stays as the handler left it.
void showHandlerError(std::exception_ptr error);

// The windows' gate: handlers run one at a time. While a command waits on a held line
// the event queue is let through (letRequestsThrough); no handler may start then.
kivo::HandlerGate& handlerGate();
bool handlersHeld();

// Runs `work` once no handler is running: at once when none is, else right after the
// outermost one has returned.
void whenNoHandlerRuns(std::function<void()> work);

// Lets the event queue through once while a command waits on a held line: the windows
// repaint and a request to end (the close box, a later start, a signal) is taken. The
// windows are disabled meanwhile, so that the user's input does not act, and no handler
// runs; the focus comes back afterwards.
void letRequestsThrough(std::initializer_list<QWidget*> windows);

// Marks a handler running for its lifetime.
class HandlerScope : public kivo::HandlerGate::Scope {
  public:
    HandlerScope() : Scope(handlerGate()) {}
};

// Runs one handler at the boundary between the toolkit and the window code; errors
// stop the handler and go to the central error handler.
template <class Handler>
void runHandler(Handler&& handler) noexcept {
    handlerGate().run(std::forward<Handler>(handler));
}
