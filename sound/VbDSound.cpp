#include "VbDSound.h"

#include "AudioLibrary.h"
#include "LosslessText.h"
#include "Host.h"
#include "Program.h"

#include <QFile>
#include <QFileInfo>

#include <new>
#include <span>

std::int32_t LoadWave(Program& program, const QString& path, std::int32_t flags, const QString& shownName)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.isHidden()) return 0;

    QString problem;
    QFile file(path);
    QByteArray bytes;
    try {
        if (!file.open(QIODevice::ReadOnly)) {
            problem = QStringLiteral("ファイルを開けません。(%1)").arg(file.errorString());
        } else if (file.size() == 0) {
            problem = QStringLiteral("ファイルが空です。");
        } else if (file.size() > kMaxWaveFileBytes) {
            problem = QStringLiteral("ファイルが大きすぎます。");
        } else {
            bytes = file.readAll();
            if (bytes.size() != file.size())
                problem = QStringLiteral("ファイルを読み込めません。(%1)").arg(file.errorString());
        }
    } catch (const std::bad_alloc&) {
        problem = QStringLiteral("メモリが足りません。");
    }
    if (!problem.isEmpty()) {
        program.host.MsgBox(problem + QStringLiteral("\n\n") + displayText(shownName.isEmpty() ? path : shownName),
                            MsgBoxStyle::vbOKOnly | MsgBoxStyle::vbExclamation);
        return 0;
    }
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    return program.audio.dsCreateDSB(std::span<const std::uint8_t>(data, static_cast<std::size_t>(bytes.size())),
                                     flags);
}
