// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace rasterblatt {

class PictureBox;

// The full-screen viewer: a borderless black window whose picture box covers the primary
// screen. Escape (on release) or a click closes it, sets bClosed() and says closed(). A new
// instance is made for every opening.
class ImageViewer : public QDialog {
    Q_OBJECT

public:
    explicit ImageViewer(QWidget* owner);

    PictureBox* picBox() const { return m_picBox; }
    // True once the user closed the viewer; stays readable after it is gone.
    bool bClosed() const { return m_closed; }
    // Closes the viewer from the program. asTheUser makes it count as closed by the user,
    // so that a running slide show stops at once.
    void closeViewer(bool asTheUser = false);

Q_SIGNALS:
    // The user closed the viewer (or the program did, counting it as the user's).
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void Form_KeyUp(int keyCode);
    void picBox_Click();
    void markClosed();

    PictureBox* m_picBox = nullptr;
    bool m_closed = false;
};

} // namespace rasterblatt
