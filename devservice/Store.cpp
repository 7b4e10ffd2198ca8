#include "Store.h"

namespace lumora::devservice {

Instant currentInstant() {
    return std::chrono::floor<std::chrono::milliseconds>(std::chrono::system_clock::now());
}

QString mediaUrl(const QString& mediaId) {
    return QStringLiteral("/media/") + mediaId;
}

void Store::atomically(const std::function<void()>& work) {
    Lock lock(m_mutex);
    Transaction transaction(m_db);
    work();
    transaction.commit();
}

bool Store::isEmpty() {
    Lock lock(m_mutex);
    Statement query(m_db, "SELECT NOT EXISTS (SELECT 1 FROM users)");
    return query.step() && query.flag(0);
}

void Store::addMedia(const MediaRecord& media) {
    Lock lock(m_mutex);
    Statement(m_db, "INSERT INTO media (id, uploader_id, file_name, mime_type, size_bytes, created_at) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
        .bind(media.id, media.uploaderId, media.fileName, media.mimeType, media.sizeBytes, media.createdAt)
        .run();
}

std::optional<MediaRecord> Store::media(const QString& id) {
    Lock lock(m_mutex);
    Statement query(
        m_db, "SELECT uploader_id, file_name, mime_type, size_bytes, created_at FROM media WHERE id = ?1");
    query.bind(id);
    if (!query.step())
        return std::nullopt;
    return MediaRecord{id, query.text(0), query.text(1), query.text(2), query.integer(3), query.instant(4)};
}

} // namespace lumora::devservice
