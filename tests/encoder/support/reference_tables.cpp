#include "support/reference_tables.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace brevix::test {

std::vector<CsvCode> load_codebook_csv(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw std::runtime_error("cannot open " + path);
    }
    std::string line;
    std::getline(in, line);  // header
    std::vector<CsvCode> rows;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        std::stringstream ss(line);
        std::string index, code, length;
        std::getline(ss, index, ',');
        std::getline(ss, code, ',');
        std::getline(ss, length, ',');
        rows.push_back({std::stoi(index), static_cast<std::uint32_t>(std::stoul(code, nullptr, 16)),
                        std::stoi(length)});
    }
    return rows;
}

std::vector<int> load_offsets_csv(const std::string& path, const std::string& window) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::vector<int> offsets;
    while (std::getline(in, line)) {
        std::stringstream ss(line);
        std::string kind, band, offset;
        std::getline(ss, kind, ',');
        std::getline(ss, band, ',');
        std::getline(ss, offset, ',');
        if (kind == window) {
            offsets.push_back(std::stoi(offset));
        }
    }
    return offsets;
}

std::uint32_t BitReader::read(int count) {
    if (static_cast<std::size_t>(count) > remaining()) {
        throw std::out_of_range("read past the end of the bitstream");
    }
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i, ++position_) {
        const int bit = (data_[position_ / 8] >> (7 - position_ % 8)) & 1;
        value = (value << 1) | static_cast<std::uint32_t>(bit);
    }
    return value;
}

ReferenceHuffman::ReferenceHuffman(const std::vector<CsvCode>& rows) {
    for (const CsvCode& row : rows) {
        codes_[{row.length, row.code}] = row.index;
    }
}

int ReferenceHuffman::decode(BitReader& in) const {
    std::uint32_t code = 0;
    for (int length = 1; length <= 32; ++length) {
        code = (code << 1) | in.read(1);
        const auto it = codes_.find({length, code});
        if (it != codes_.end()) {
            return it->second;
        }
    }
    throw std::runtime_error("no codeword matches");
}

std::vector<int> decode_spectral(const ReferenceHuffman& table, int book, BitReader& in,
                                 int count) {
    const bool quad = book <= 4;
    const bool is_signed = book == 1 || book == 2 || book == 5 || book == 6;
    const int dim = quad ? 4 : 2;
    const int modulo = quad ? 3 : (book <= 6 ? 9 : (book <= 8 ? 8 : (book <= 10 ? 13 : 17)));
    const int offset = is_signed ? (quad ? 1 : 4) : 0;
    std::vector<int> out;
    for (int i = 0; i < count; i += dim) {
        int index = table.decode(in);
        int v[4];
        for (int j = dim - 1; j >= 0; --j) {
            v[j] = index % modulo - offset;
            index /= modulo;
        }
        if (!is_signed) {
            for (int j = 0; j < dim; ++j) {
                if (v[j] != 0 && in.read(1) == 1) {
                    v[j] = -v[j];
                }
            }
        }
        if (book == 11) {
            for (int j = 0; j < 2; ++j) {
                if (v[j] == 16 || v[j] == -16) {
                    int n = 0;
                    while (in.read(1) == 1) {
                        ++n;
                    }
                    const int magnitude = (1 << (n + 4)) + static_cast<int>(in.read(n + 4));
                    v[j] = v[j] < 0 ? -magnitude : magnitude;
                }
            }
        }
        out.insert(out.end(), v, v + dim);
    }
    return out;
}

std::string table_dir() {
    return AAC_TABLE_DIR;
}
std::string shared_table_dir() {
    return AAC_SHARED_TABLE_DIR;
}

}  // namespace brevix::test
