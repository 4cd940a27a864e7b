// Plug-in bundles: a folder NAME.plugin holding the shared library NAME.so, whose code is loaded with dlopen and
// whose exports are looked up by name. Stands in for the Core Foundation bundle calls the host makes.
#ifndef REELFINCH_PLATFORM_BUNDLE_H
#define REELFINCH_PLATFORM_BUNDLE_H

#include <QString>

#include <memory>

class Bundle
{
public:
    // A bundle for the folder at path, or null when there is no such folder. The code is not loaded yet.
    static std::unique_ptr<Bundle> create(const QString& path);
    ~Bundle();

    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    QString path() const { return m_path; }
    // The shared library inside: NAME.plugin/NAME.so.
    QString executablePath() const;

    // Loads the shared library; true when it is loaded (also when it already was).
    bool loadExecutable();
    bool isExecutableLoaded() const { return m_handle != nullptr; }
    // The address of an exported function, or null when the code is not loaded or lacks the export.
    void* functionPointerForName(const char* name) const;
    void unloadExecutable();

private:
    explicit Bundle(const QString& path);

    QString m_path;
    void* m_handle = nullptr;
};

#endif
