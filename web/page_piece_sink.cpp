#include "web/page_piece_sink.h"

#include <algorithm>
#include <cstring>

namespace ospreon::web {

void PagePieceSink::Keep(const char* piece, std::size_t count)
{
    const void* zero = std::memchr(piece, '\0', count);
    m_text.append(piece, zero ? static_cast<const char*>(zero) - piece : count);
}

void PagePieceSink::Append(const char* data, std::size_t count)
{
    m_size += static_cast<unsigned>(count);
    while (count > 0) {
        if (m_piece.empty() && count >= kPieceBytes) {
            Keep(data, kPieceBytes);
            data += kPieceBytes;
            count -= kPieceBytes;
            continue;
        }
        const std::size_t take = std::min(count, kPieceBytes - m_piece.size());
        m_piece.append(data, take);
        data += take;
        count -= take;
        if (m_piece.size() == kPieceBytes) {
            Keep(m_piece.data(), m_piece.size());
            m_piece.clear();
        }
    }
}

void PagePieceSink::Finish()
{
    Keep(m_piece.data(), m_piece.size());
    m_piece.clear();
}

void PagePieceSink::Clear()
{
    m_text.clear();
    m_piece.clear();
    m_size = 0;
}

} // namespace ospreon::web
