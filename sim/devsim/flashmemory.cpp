#include "flashmemory.h"

#include "common/flashframe.h"

#include <QFile>
#include <QSaveFile>

namespace brimo::sim {
namespace {

constexpr qsizetype kFlashBytes = flash::kFlashSize;
constexpr qsizetype kSystemNumberAt = flash::kIdentityBlock + 16;
constexpr qsizetype kTailAt = flash::kIdentityBlock + 24;
const QByteArray kBlockHeader = QByteArrayLiteral("BRIMO IDENT 0100");

} // namespace

QByteArray FlashMemory::erasedImage(const QByteArray &systemNumber, const QByteArray &tail)
{
    QByteArray image(kFlashBytes, '\xFF');
    image.replace(flash::kIdentityBlock, kBlockHeader.size(), kBlockHeader);
    image.replace(kSystemNumberAt, 8, systemNumber.leftJustified(8, ' ', true));
    image.replace(kTailAt, 8, tail.leftJustified(8, '\0', true));
    return image;
}

bool FlashMemory::open(const QString &path, const QByteArray &systemNumber, const QByteArray &tail,
                       QString *error)
{
    m_path = path;
    QFile file(path);
    if (!file.exists())
        return store(erasedImage(systemNumber, tail), error);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    // A file of another size is taken as far as it goes; the rest reads erased.
    m_contents = file.read(kFlashBytes).leftJustified(kFlashBytes, '\xFF');
    return true;
}

QByteArray FlashMemory::read(quint32 address, quint32 length) const
{
    if (quint64{address} + length > quint64{flash::kFlashSize})
        return QByteArray();
    return m_contents.mid(address, length);
}

bool FlashMemory::store(const QByteArray &contents, QString *error)
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() ||
        !file.commit()) {
        *error = file.errorString();
        return false;
    }
    m_contents = contents;
    return true;
}

QByteArray FlashMemory::identityBlock() const
{
    return m_contents.mid(flash::kIdentityBlock, flash::kIdentityBlockSize);
}

QByteArray FlashMemory::systemNumber() const
{
    return m_contents.mid(kSystemNumberAt, 8);
}

QByteArray FlashMemory::tail() const
{
    return m_contents.mid(kTailAt, 8);
}

} // namespace brimo::sim
