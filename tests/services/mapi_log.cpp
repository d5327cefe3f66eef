#include "tests/services/mapi_log.h"

#include "tests/support/file_bytes.h"

std::vector<MapiRecord> ReadMapiLog(const std::wstring& path) {
    std::vector<MapiRecord> records;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return records;
    }
    const std::vector<BYTE> bytes = ReadFileBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    MapiRecord record;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start);
        if (line == "end") {
            records.push_back(record);
            record.clear();
        } else if (line.find('=') != std::string::npos) {
            record[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        }
    }
    return records;
}
