#pragma once

#include <QString>

#include <QStringList>

// The stored properties of the common open-file dialog; Host::ShowOpen shows it. Between two
// uses it keeps the chosen file and filter, and what a drop or the settings put here.
struct CommonDialog {
    QString DefaultExt = QStringLiteral("mid");
    QString DialogTitle = QStringLiteral("開く");
    QString FileName = QStringLiteral("*.mid");
    QString Filter = QStringLiteral("MIDI ﾌｧｲﾙ (*.mid)|*.mid|WAVE ﾌｧｲﾙ (*.wav)|*.wav|"
                                    "DirectX ﾐｭｰｼﾞｯｸ ｾｸﾞﾒﾝﾄ ﾌｧｲﾙ (*.sgt)|*.sgt|");
    int FilterIndex = 1;
};

/// The dialog's filter text ("description|pattern|description|pattern|") as name filters
/// ("description (pattern)"; a description that already names its pattern stays as it is).
QStringList nameFiltersOf(const QString& filter);
