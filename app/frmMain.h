#pragma once

#include <QWidget>

#include <cstdint>

class QLabel;
class PictureBox;
class WindowTimer;
struct Program;

// The main window: the switch panel. Loading it starts the program, unloading it ends it.
class frmMain final : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(Program& program);

    /// Runs the start-up and shows the window unless the start-up ended the program.
    void Load();

    /// The start-up, before the window is shown. Returns false when the program was ended.
    bool Form_Load();
    /// The shutdown; `Cancel` is never set.
    void Form_Unload(std::int16_t& Cancel);

    void Form_KeyDown(int KeyCode, int Shift);
    void Form_KeyUp(int KeyCode, int Shift);

    PictureBox* picDest;
    PictureBox* picSrc;
    QLabel* lblFileName;
    QLabel* lblFileInfo;
    WindowTimer* Timer1;
    WindowTimer* tmrVolReset;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    Program& program_;
    QImage background_;
};

/// Shift-state bits of a key or mouse event: 1 Shift, 2 Ctrl, 4 Alt.
int shiftState(Qt::KeyboardModifiers modifiers);
