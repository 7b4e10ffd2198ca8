#pragma once

#include <QString>

#include <filesystem>
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

    // Written to a temporary name, flushed to disk, then renamed: a crash leaves no half file.
    void write(const QString& id, std::string_view bytes) const;
    std::optional<std::string> read(const QString& id) const;
    void remove(const QString& id) const;

private:
    std::filesystem::path pathOf(const QString& id) const;

    std::filesystem::path m_directory;
};

// Browsers and the Lumora client write '"', CR and LF in a multipart file name as %22, %0D and %0A.
QString decodeDispositionFileName(const std::string& raw);

// The declared type without parameters, lower-cased, when it is one the service serves as is;
// anything else is served as application/octet-stream so no upload turns into a page.
QString servableMimeType(const std::string& declared);

// The media id in "/media/<id>" or in an absolute URL with that path; nothing for other URLs.
std::optional<QString> mediaIdFromUrl(const QString& url);

bool isMediaId(const QString& text);

} // namespace lumora::devservice
