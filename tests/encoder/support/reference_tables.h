// An independent reading of the table CSV files and a deliberately simple Huffman decoder
// built from them, to check the encoder's generated tables and its coding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brevix::test {

struct CsvCode {
    int index;
    std::uint32_t code;
    int length;
};

// Rows of a codebook CSV (index,codeword_hex,length) in file order.
std::vector<CsvCode> load_codebook_csv(const std::string& path);

// Band offsets of one window kind ("long" or "short") from the offsets CSV.
std::vector<int> load_offsets_csv(const std::string& path, const std::string& window);

// MSB-first bit reader over a byte buffer; reading past the end throws.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t bytes) : data_(data), bits_(bytes * 8) {}
    std::uint32_t read(int count);
    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bits_ - position_; }

private:
    const std::uint8_t* data_;
    std::size_t bits_;
    std::size_t position_ = 0;
};

// Decodes codewords bit by bit against a (length, code) -> index map.
class ReferenceHuffman {
public:
    explicit ReferenceHuffman(const std::vector<CsvCode>& rows);
    int decode(BitReader& in) const;  // throws if no codeword matches within 32 bits

private:
    std::map<std::pair<int, std::uint32_t>, int> codes_;
};

// Decodes `count` spectral values of codebook `book` (1..11) with signs and escapes, the
// way a decoder reads spectral data.
std::vector<int> decode_spectral(const ReferenceHuffman& book_table, int book, BitReader& in,
                                 int count);

std::string table_dir();         // the encoder's CSV folder
std::string shared_table_dir();  // the checked copy the CSVs were taken from

}  // namespace brevix::test
