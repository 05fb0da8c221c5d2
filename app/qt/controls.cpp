#include "app/qt/controls.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPointer>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QStyleOptionFocusRect>
#include <algorithm>

#include "app/qt/dialogs.h"
#include "app/qt/winfont.h"
#include "core/errors.h"

QSize FixedRowHeightDelegate::sizeHint(const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(height_);
    return size;
}

void setCaption(QLabel* label, const QString& text) {
    label->setText(text);
    int wanted = label->fontMetrics().horizontalAdvance(text);
    if (wanted > label->width()) label->resize(wanted, label->height());
}

void showHandlerError(std::exception_ptr error) {
    dialogs().showError(QString::fromStdString(kivo::errorDialogText(error)));
}

kivo::HandlerGate& handlerGate() {
    static kivo::HandlerGate gate(showHandlerError);
    return gate;
}

bool handlersHeld() {
    return handlerGate().held();
}

void whenNoHandlerRuns(std::function<void()> work) {
    handlerGate().whenNoHandlerRuns(std::move(work));
}

void letRequestsThrough(std::initializer_list<QWidget*> windows) {
    handlerGate().holdWhile([&] {
        QPointer<QWidget> focus = QApplication::focusWidget();
        std::vector<QPointer<QWidget>> disabled;
        for (QWidget* w : windows) {
            if (!w || !w->isEnabled()) continue;
            w->setEnabled(false);
            disabled.emplace_back(w);
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        for (const QPointer<QWidget>& w : disabled)
            if (w) w->setEnabled(true);
        if (focus && focus->isEnabled()) focus->setFocus();
    });
}

bool setPositionQuietly(QScrollBar* bar, int position) {
    position = std::clamp(position, bar->minimum(), bar->maximum());
    if (position == bar->value()) return false;
    QSignalBlocker quiet(bar);
    bar->setValue(position);
    return true;
}

bool checkQuietly(QRadioButton* button, QRadioButton* other) {
    if (button->isChecked()) return false;
    QSignalBlocker quiet1(button);
    QSignalBlocker quiet2(other);
    button->setChecked(true);
    return true;
}

namespace {

// The application's style, with the focus frame drawn over a slider that has the focus.
class FocusFrameStyle : public QProxyStyle {
  public:
    FocusFrameStyle() : QProxyStyle(QApplication::style()->name()) {}
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        if (control != CC_ScrollBar || !(option->state & State_HasFocus)) return;
        QStyleOptionFocusRect frame;
        frame.QStyleOption::operator=(*option);
        frame.backgroundColor = option->palette.color(QPalette::Window);
        drawPrimitive(PE_FrameFocusRect, &frame, painter, widget);
    }
};

}  // namespace

void showFocusFrame(QWidget* widget) {
    static QStyle* const style = new FocusFrameStyle;  // for the program's life
    widget->setStyle(style);
}

bool isLight(const QColor& background) {
    return background.lightnessF() >= 0.5;
}

void showNotice(QWidget* widget, const QString& text, QPalette::ColorRole role,
                const QColor& onLight, const QColor& onDark, const QString& resting) {
    const QString tip = text.isEmpty() ? resting : text;
    if (widget->toolTip() == tip) return;  // shown already
    widget->setToolTip(tip);
    if (text.isEmpty()) {
        widget->setPalette(QPalette());  // the inherited colours again
        return;
    }
    // The colour that reads on the background the widget inherits (a dark desktop's too).
    const QPalette inherited =
        widget->parentWidget() ? widget->parentWidget()->palette() : QApplication::palette();
    const QPalette::ColorRole background = role == QPalette::ButtonText ? QPalette::Button
                                           : role == QPalette::Text     ? QPalette::Base
                                                                        : role;
    const bool light = isLight(inherited.color(background));
    QPalette marked = widget->palette();
    marked.setColor(role, light ? onLight : onDark);
    widget->setPalette(marked);
}

void useWindowFace(QWidget* window) {
    window->setFont(windowFont(12));
    // By role, not by colour: the face follows the desktop's colours, a dark theme's too.
    window->setBackgroundRole(QPalette::Button);
    window->setAutoFillBackground(true);
}
