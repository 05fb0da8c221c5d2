#include "core/memorywindow.h"

#include <algorithm>

namespace kivo {

void MemoryWindow::setFrequencyText(const std::string& text) {
    if (text == frequency) return;
    frequency = text;
    if (control) control->Edit1Change();
}

void MemoryWindow::checkAm() {
    if (am) return;
    am = true;
    fm = false;
    if (control) control->Edit1Change();
}

void MemoryWindow::checkFm() {
    if (fm) return;
    fm = true;
    am = false;
    if (control) control->Edit1Change();
}

void MemoryWindow::setVolumePosition(int position) {
    position = std::clamp(position, 0, 255);
    if (position == volume) return;
    volume = position;
    if (control) control->ScrollBar1Change();
}

void MemoryWindow::setCompactVolumePosition(int position) {
    position = std::clamp(position, 0, 255);
    if (position == compactVolume) return;
    compactVolume = position;
    setVolumePosition(compactVolume);  // the strip's handler
}

bool MemoryWindow::confirm(const std::string& text) {
    questions.push_back(text);
    return confirmAnswer;
}

}  // namespace kivo
