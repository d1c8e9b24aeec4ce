#pragma once

#include <QString>

#include <memory>

// A small disk of its own (a tmpfs) mounted on a folder, for tests of a full disk and of a folder
// that may not be written. Mounting needs root; where it is not permitted, mount() says why.
class SmallDisk
{
public:
    // Mounts a tmpfs of the given size on the folder (made when missing). Nothing, with the reason
    // in whyNot, when it cannot be mounted.
    static std::unique_ptr<SmallDisk> mount(const QString& folder, qint64 bytes, QString& whyNot);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Fills the disk to its last byte with a file of its own.
    void fill() const;
    // Makes the whole disk read-only (files stay as they are); true on success.
    bool makeReadOnly() const;

private:
    explicit SmallDisk(const QString& folder)
        : m_folder(folder)
    {
    }
    QString m_folder;
};
