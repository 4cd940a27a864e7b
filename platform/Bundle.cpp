#include "Bundle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

namespace {
const QString kBundleExtension = QStringLiteral(".plugin");
const QString kExecutableExtension = QStringLiteral(".so");
} // namespace

std::unique_ptr<Bundle> Bundle::create(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return nullptr;
    return std::unique_ptr<Bundle>(new Bundle(QDir::cleanPath(path)));
}

Bundle::Bundle(const QString& path)
    : m_path(path)
{
}

Bundle::~Bundle()
{
    unloadExecutable();
}

QString Bundle::executablePath() const
{
    QString name = QFileInfo(m_path).fileName();
    if (name.endsWith(kBundleExtension, Qt::CaseInsensitive))
        name.chop(kBundleExtension.size());
    return m_path + QLatin1Char('/') + name + kExecutableExtension;
}

bool Bundle::loadExecutable()
{
    if (m_handle)
        return true;
    const QByteArray file = QFile::encodeName(executablePath());
    // RTLD_LOCAL keeps the plug-in's symbols to itself; RTLD_NOW reports a missing symbol here rather than later
    // in the middle of a call.
    m_handle = dlopen(file.constData(), RTLD_NOW | RTLD_LOCAL);
    return m_handle != nullptr;
}

void* Bundle::functionPointerForName(const char* name) const
{
    if (!m_handle || !name)
        return nullptr;
    return dlsym(m_handle, name);
}

void Bundle::unloadExecutable()
{
    if (!m_handle)
        return;
    dlclose(m_handle);
    m_handle = nullptr;
}
