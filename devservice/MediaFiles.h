#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lumora::devservice {

// The bytes of uploaded files, one file per media id in one directory. Their names and types live
// in the database; nothing a client sends ever becomes part of a path.
class MediaFiles {
public:
    explicit MediaFiles(std::filesystem::path directory); // creates the directory
    const std::filesystem::path& directory() const { return m_directory; }

    // A file on its way in, written as its bytes arrive under a hidden temporary name, and given
    // its id only by commit(), once flushed to disk: a failure or a crash leaves no half file under
    // a real id. Without a commit the temporary file is removed.
    class Incoming {
    public:
        Incoming(const MediaFiles& media, const QString& id);
        ~Incoming();
        Incoming(const Incoming&) = delete;
        Incoming& operator=(const Incoming&) = delete;

        void append(std::string_view bytes);
        void commit();

    private:
        std::string m_temporary;
        std::string m_target;
        int m_fd = -1;
    };

    // A stored file open for reading; closed with its last reference.
    class Reader {
    public:
        Reader(int fd, std::uint64_t size)
            : m_fd(fd)
            , m_size(size) {}
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;

        std::uint64_t size() const { return m_size; }
        // Up to `length` bytes from `offset` into `buffer`: how many, 0 past the end, -1 on an error.
        // Safe to call from several threads at once.
        std::int64_t readAt(std::uint64_t offset, char* buffer, size_t length) const;

    private:
        int m_fd;
        std::uint64_t m_size;
    };

    void write(const QString& id, std::string_view bytes) const; // as one Incoming
    std::shared_ptr<const Reader> open(const QString& id) const; // null when there is no such file
    void remove(const QString& id) const;

private:
    std::filesystem::path pathOf(const QString& id) const;

    std::filesystem::path m_directory;
};

// Browsers and the Lumora client write '"', CR and LF in a multipart file name as %22, %0D and %0A.
QString decodeDispositionFileName(const std::string& raw);

// A Content-Disposition value that offers `fileName` for saving: the name itself percent-encoded
// as UTF-8 in filename*, and for clients that only know filename an ASCII stand-in with '_' for
// anything that could end or escape the quoted string or be taken for an encoding.
std::string attachmentDisposition(const QString& fileName);

// The declared type without parameters, lower-cased, when it is one the service serves as is;
// anything else is served as application/octet-stream so no upload turns into a page.
QString servableMimeType(const std::string& declared);

// The media id in "/media/<id>" or in an absolute URL with that path; nothing for other URLs.
std::optional<QString> mediaIdFromUrl(const QString& url);

bool isMediaId(const QString& text);

} // namespace lumora::devservice
