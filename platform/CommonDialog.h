#pragma once

#include <QString>

// The stored properties of the common open-file dialog. Showing it comes with the menu that
// opens it; until then the window keeps what a drop or the settings put here.
struct CommonDialog {
    QString DefaultExt = QStringLiteral("mid");
    QString DialogTitle = QStringLiteral("開く");
    QString FileName = QStringLiteral("*.mid");
    QString Filter = QStringLiteral("MIDI ﾌｧｲﾙ (*.mid)|*.mid|WAVE ﾌｧｲﾙ (*.wav)|*.wav|"
                                    "DirectX ﾐｭｰｼﾞｯｸ ｾｸﾞﾒﾝﾄ ﾌｧｲﾙ (*.sgt)|*.sgt|");
    int FilterIndex = 1;
};
