#pragma once
// The body of a fetched page as FetchPage keeps it: consecutive pieces of 50 bytes
// counted from the body's first byte, whatever chunks the transport hands over,
// each kept up to its first zero byte; the size counts every byte.

#include <cstddef>
#include <string>

namespace ospreon::web {

class PagePieceSink
{
public:
    static constexpr std::size_t kPieceBytes = 50;

    void Append(const char* data, std::size_t count);
    // Ends the body: the last, shorter piece is kept like the others.
    void Finish();
    void Clear();

    const std::string& text() const { return m_text; }
    unsigned size() const { return m_size; }

private:
    void Keep(const char* piece, std::size_t count);

    std::string m_text;
    std::string m_piece; // the bytes of the piece being filled
    unsigned m_size = 0;
};

} // namespace ospreon::web
