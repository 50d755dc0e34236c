#include "support/TempFolder.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

TempFolder::TempFolder() : m_previous(QDir::currentPath())
{
    EXPECT_TRUE(m_dir.isValid());
    QDir::setCurrent(m_dir.path());
}

TempFolder::~TempFolder()
{
    QDir::setCurrent(m_previous);
}

void TempFolder::Write(const QString& name, const QByteArray& bytes) const
{
    const QString path = FilePath(name);
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray TempFolder::Read(const QString& name) const
{
    QFile file(FilePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.isNull())
        bytes = QByteArray("");
    return bytes;
}

bool TempFolder::Exists(const QString& name) const
{
    return QFile::exists(FilePath(name));
}
