#include "app/qt/controls.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPointer>
#include <QSignalBlocker>
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

void showNotice(QWidget* widget, const QString& text, QPalette::ColorRole role,
                const QColor& colour) {
    if (widget->toolTip() == text) return;  // shown already
    widget->setToolTip(text);
    if (text.isEmpty()) {
        widget->setPalette(QPalette());  // the inherited colours again
        return;
    }
    QPalette marked = widget->palette();
    marked.setColor(role, colour);
    widget->setPalette(marked);
}

void useWindowFace(QWidget* window) {
    window->setFont(windowFont(12));
    QPalette face = window->palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    window->setPalette(face);
    window->setAutoFillBackground(true);
}
