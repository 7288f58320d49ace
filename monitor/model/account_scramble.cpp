#include "monitor/model/account_scramble.h"

#include <algorithm>
#include <cstring>
#include <random>

#include "common/little_endian.h"

namespace wardlet {
namespace {

void EncodeField(char (&field)[512], std::time_t now) {
    std::string plain(FieldText(field));
    if (plain.size() > kMaxAccountText) plain.resize(kMaxAccountText);
    std::minstd_rand filler(static_cast<std::minstd_rand::result_type>(now));
    for (char& byte : field) {
        unsigned r = filler() % 126;
        byte = static_cast<char>(r < 32 ? r + 32 : r);
    }
    field[0] = static_cast<char>(plain.size());
    std::reverse(plain.begin(), plain.end());
    for (size_t j = 0; j < plain.size(); ++j)
        field[1 + 4 * j] = plain[j];
}

void DecodeField(char (&field)[512]) {
    char stored[512];
    memcpy(stored, field, sizeof stored);
    memset(field, 0, sizeof stored);
    // The length byte is signed: a negative one (a damaged field) decodes to nothing.
    int n = static_cast<signed char>(stored[0]);  // NOLINT(bugprone-signed-char-misuse)
    for (int j = 0; j < n; ++j)
        field[j] = stored[1 + 4 * j];
    std::reverse(field, field + std::max(n, 0));
}

}  // namespace

void EncodeAccount(DocumentRecord& record, std::time_t now) {
    EncodeField(record.userName, now);
    EncodeField(record.password, now);
}

void DecodeAccount(DocumentRecord& record) {
    DecodeField(record.userName);
    DecodeField(record.password);
}

}  // namespace wardlet
