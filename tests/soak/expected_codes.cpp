#include "expected_codes.h"

#include <QProcess>
#include <QStringList>

std::vector<int> oathtool_codes(const Bytes& secret, int digits, std::int64_t first, int count)
{
    QString hex;
    for (std::uint8_t byte : secret)
        hex += QString::number(byte, 16).rightJustified(2, '0');
    QProcess oathtool;
    // -w adds that many windows after the first.
    oathtool.start("oathtool", {"--totp", "-d", QString::number(digits), "-w", QString::number(count - 1), "-N",
                                "@" + QString::number(first), hex});
    if (!oathtool.waitForFinished(60000) || oathtool.exitStatus() != QProcess::NormalExit || oathtool.exitCode() != 0)
        return {};
    std::vector<int> codes;
    for (const QByteArray& line : oathtool.readAllStandardOutput().split('\n')) {
        bool ok = false;
        const int code = line.trimmed().toInt(&ok);
        if (ok)
            codes.push_back(code);
    }
    if (codes.size() != static_cast<std::size_t>(count))
        return {};
    return codes;
}
