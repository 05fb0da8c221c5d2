// The scenario table against the Qt windows, clicked and typed at through QtTest on the
// offscreen platform.
#include "tests/scenarios/scenarios.h"

#include <QApplication>
#include <QClipboard>
#include <QSignalSpy>
#include <QTest>

#include "tests/app/qt/guitest.h"

using namespace scenarios;

namespace {

Lines utf8(const QStringList& texts) {
    Lines out;
    for (const QString& text : texts) out.push_back(text.toStdString());
    return out;
}

class QtScenarios : public WindowTest,
                    public FrontEnd,
                    public testing::WithParamInterface<Scenario> {
  protected:
    void start(const std::string& folder, const std::optional<std::string>& argument) override {
        form2.reset();
        form1.reset();
        closed_ = false;
        std::optional<QString> channel;
        if (argument) channel = QString::fromStdString(*argument);
        WindowTest::start(channel, QString::fromStdString(folder));
        QObject::connect(form1.get(), &TForm1::closed, [this] { closed_ = true; });
    }

    QAbstractButton* widget(Button button) {
        switch (button) {
            case Button::Power:
                return form1->Button2;
            case Button::Am:
                return form1->RadioButton1;
            case Button::Fm:
                return form1->RadioButton2;
            case Button::Add:
                return form1->Button1;
            case Button::Delete:
                return form1->Button3;
            case Button::Up:
                return form1->Button6;
            case Button::Down:
                return form1->Button7;
            case Button::Reload:
                return form1->Button4;
            case Button::Save:
                return form1->Button5;
            case Button::SMode:
                return form1->Button8;
            case Button::StripPower:
                return form2->Button2;
            case Button::StripBack:
                return form2->Button1;
        }
        return nullptr;
    }
    void click(Button button) override { QTest::mouseClick(widget(button), Qt::LeftButton); }
    void answerConfirmations(bool yes) override { boxes.answer = yes; }

    QLineEdit* edit(Field field) {
        switch (field) {
            case Field::Port:
                return form1->ComboBox1->lineEdit();
            case Field::Frequency:
                return form1->Edit1;
            case Field::Name:
                return form1->Edit2;
            case Field::StripChooser:
                return form2->ComboBox1->lineEdit();
        }
        return nullptr;
    }
    void type(Field field, const std::string& text) override {
        edit(field)->end(false);
        typeInto(edit(field), QString::fromStdString(text));
    }
    void erase(Field field) override {
        edit(field)->setFocus();
        edit(field)->end(false);
        QTest::keyClick(edit(field), Qt::Key_Backspace);
    }
    void clear(Field field) override {
        edit(field)->setFocus();
        edit(field)->selectAll();
        QTest::keyClick(edit(field), Qt::Key_Delete);
    }
    void paste(Field field, const std::string& text) override {
        const QString pasted = QString::fromStdString(text);
        QApplication::clipboard()->setText(pasted);
        edit(field)->setFocus();
        edit(field)->selectAll();
        QTest::keyClick(edit(field), Qt::Key_V, Qt::ControlModifier);
        EXPECT_EQ(edit(field)->text(), pasted);
    }
    void slide(int position) override { form1->ScrollBar1->setValue(position); }
    void slideStrip(int position) override { form2->ScrollBar1->setValue(position); }
    void selectLine(int row) override { clickLine(row); }
    void doubleClickLine(int row) override { WindowTest::doubleClickLine(row); }
    // What picking the item from the chooser's list does.
    void chooseInStrip(int row) override {
        form2->ComboBox1->setCurrentIndex(row);
        emit form2->ComboBox1->activated(row);
    }
    // The running timer's interval is made to pass: it fires once, then runs on as before.
    void tick() override {
        QTimer& timer = form1->Timer1;
        const int interval = timer.interval();
        QSignalSpy fired(&timer, &QTimer::timeout);
        timer.setInterval(1);
        EXPECT_TRUE(fired.wait(5000));
        timer.setInterval(interval);
    }
    void closeMain() override { form1->close(); }
    void closeStrip() override { form2->close(); }

    Window shown() override {
        const bool main = form1->isVisible(), strip = form2->isVisible();
        EXPECT_TRUE(closed_ ? !main && !strip : main != strip)
            << "main " << main << ", strip " << strip;
        if (!closed_) {
            EXPECT_EQ(form1->smode(), strip);
        }
        const QList<int> rows = form1->ListBox1->selectedRows();
        const int row = rows.isEmpty() ? -1 : rows.front();
        EXPECT_EQ(row, form1->channels().selectedIndex()) << "the list box shows the selection";
        QStringList names;
        for (int i = 0; i < form2->ComboBox1->count(); ++i) names << form2->ComboBox1->itemText(i);
        return {.power = form1->Label1->text().toStdString(),
                .portText = form1->ComboBox1->currentText().toStdString(),
                .portEnabled = form1->ComboBox1->isEnabled(),
                .timer = form1->Timer1.isActive(),
                .frequency = form1->Edit1->text().toStdString(),
                .band = form1->RadioButton1->isChecked()   ? Band::Am
                        : form1->RadioButton2->isChecked() ? Band::Fm
                                                           : Band::None,
                .name = form1->Edit2->text().toStdString(),
                .volume = form1->ScrollBar1->value(),
                .volumeLabel = form1->Label2->text().toStdString(),
                .lines = utf8(shownLines()),
                .selected = row,
                .showing = closed_ ? Showing::Nothing
                           : strip ? Showing::Strip
                                   : Showing::Main,
                .stripPower = form2->Button2->text().toStdString(),
                .stripText = form2->ComboBox1->currentText().toStdString(),
                .stripNames = utf8(names),
                .stripVolume = form2->ScrollBar1->value()};
    }
    Trs232c& component() override { return form1->rs232c1; }
    std::string channelFilePath() override { return form1->control().channelFilePath; }
    Lines takeMessages() override { return utf8(std::exchange(boxes.messages, {})); }
    Lines takeErrors() override { return utf8(std::exchange(boxes.errors, {})); }
    Lines takeQuestions() override { return utf8(std::exchange(boxes.questions, {})); }

  private:
    bool closed_ = false;
};

TEST_P(QtScenarios, Pass) {
    run(GetParam(), *this);
}

INSTANTIATE_TEST_SUITE_P(Table, QtScenarios, testing::ValuesIn(all()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                             return info.param.name;
                         });

}  // namespace
