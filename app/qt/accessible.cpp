#include "app/qt/accessible.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

#include "app/qt/listbox.h"

namespace {

// One line of the list: its text, whether it is the one selected, and an action that
// chooses it as Enter does.
class ChannelLineAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
  public:
    ChannelLineAccessible(ChannelListBox* list, int row) : list_(list), row_(row) {}

    bool isValid() const override { return list_ && row_ < list_->count(); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return list_ ? list_->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(list_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        return t == QAccessible::Name && isValid() ? list_->itemText(row_) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect r = list_->rowRect(row_);
        return QRect(list_->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) return s;
        s.selectable = true;
        s.focusable = true;
        s.selected = list_->isRowSelected(row_);
        s.focused = list_->hasFocus() && list_->currentRow() == row_;
        const QRect shown = list_->rowRect(row_) & list_->viewport()->rect();
        s.invisible = shown.isEmpty();
        s.offscreen = shown.isEmpty();
        s.disabled = !list_->isEnabled();
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction() && isValid() && list_->isEnabled()) list_->chooseRow(row_);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

  private:
    QPointer<ChannelListBox> list_;
    int row_;
};

// The list: its lines are its children, made when asked for and kept by row (each reads
// its row's text when asked, so a change of the lines needs nothing here).
class ChannelListAccessible : public QAccessibleWidget {
  public:
    explicit ChannelListAccessible(ChannelListBox* list)
        : QAccessibleWidget(list, QAccessible::List) {}
    ~ChannelListAccessible() override {
        for (QAccessible::Id id : std::as_const(lines_)) QAccessible::deleteAccessibleInterface(id);
    }

    int childCount() const override { return list()->count(); }
    QAccessibleInterface* child(int index) const override {
        if (index < 0 || index >= list()->count()) return nullptr;
        if (auto found = lines_.constFind(index); found != lines_.constEnd())
            return QAccessible::accessibleInterface(*found);
        auto* line = new ChannelLineAccessible(list(), index);
        lines_.insert(index, QAccessible::registerAccessibleInterface(line));
        return line;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (auto it = lines_.constBegin(); it != lines_.constEnd(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key() < list()->count() ? it.key() : -1;
        return -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        const QPoint at = list()->viewport()->mapFromGlobal(QPoint(x, y));
        const QModelIndex index = list()->indexAt(at);
        return index.isValid() ? child(index.row()) : nullptr;
    }

  private:
    ChannelListBox* list() const { return static_cast<ChannelListBox*>(widget()); }

    mutable QHash<int, QAccessible::Id> lines_;
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget) return nullptr;
    if (className == QLatin1String("ChannelListBox"))
        return new ChannelListAccessible(static_cast<ChannelListBox*>(widget));
    // The two windows are frames to a screen reader, which names them by their captions.
    if (className == QLatin1String("TForm1") || className == QLatin1String("TForm2"))
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

}  // namespace

void installAccessibleInterfaces() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}
