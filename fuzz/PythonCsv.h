#pragma once

// A CSV reader with the rules of Python's csv module (csv.reader on a file
// opened with newline="", default "excel" dialect: "," between fields, '"'
// quotes, a doubled '"' inside quotes is one, no escape character, no
// skipping of spaces, not strict), as the importers of the export files read
// them. Rules of CPython 3.11's Modules/_csv.c:
// - a record ends at CR, LF or CR LF outside quotes; an empty line is an
//   empty record;
// - a field that starts with '"' is quoted: CR and LF inside it are data, ""
//   is one '"'; after the closing quote, characters up to the next "," or
//   line end are taken as they come (not strict);
// - a '"' inside an unquoted field is an ordinary character;
// - a NUL is an ordinary character (3.11);
// - a quoted field still open at the end of the data ends there.
// (Python also refuses a field over csv.field_size_limit(), 131072
// characters by default; this reader has no such limit.)
#include <string>
#include <string_view>
#include <vector>

using CsvRecord = std::vector<std::string>;

inline std::vector<CsvRecord> ReadCsvLikePython(std::string_view data)
{
    enum State
    {
        StartRecord,
        StartField,
        InField,
        InQuotedField,
        QuoteInQuotedField,
        EatCrLf,
    };
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    State state = StartRecord;
    auto saveField = [&] {
        record.push_back(field);
        field.clear();
    };
    auto saveRecord = [&] {
        records.push_back(record);
        record.clear();
    };
    for (size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        switch (state) {
        case StartRecord:
            if (c == '\r' || c == '\n') {
                saveRecord(); // an empty line: []
                state = EatCrLf;
                break;
            }
            state = StartField;
            [[fallthrough]];
        case StartField:
            if (c == '\r' || c == '\n') {
                saveField();
                saveRecord();
                state = EatCrLf;
            } else if (c == '"') {
                state = InQuotedField;
            } else if (c == ',') {
                saveField();
            } else {
                field += c;
                state = InField;
            }
            break;
        case InField:
            if (c == '\r' || c == '\n') {
                saveField();
                saveRecord();
                state = EatCrLf;
            } else if (c == ',') {
                saveField();
                state = StartField;
            } else {
                field += c;
            }
            break;
        case InQuotedField:
            if (c == '"')
                state = QuoteInQuotedField;
            else
                field += c;
            break;
        case QuoteInQuotedField:
            if (c == '"') {
                field += '"';
                state = InQuotedField;
            } else if (c == ',') {
                saveField();
                state = StartField;
            } else if (c == '\r' || c == '\n') {
                saveField();
                saveRecord();
                state = EatCrLf;
            } else {
                field += c;
                state = InField;
            }
            break;
        case EatCrLf:
            // Python's lines end at CR, LF or CR LF: a LF right after a CR
            // belongs to the same line end; anything else starts a record.
            if (c == '\n' && data[i - 1] == '\r')
                break;
            state = StartRecord;
            --i;
            break;
        }
    }
    switch (state) {
    case StartRecord:
    case EatCrLf:
        break;
    case StartField:
        // After a "," at the very end: Python saves the empty last field.
        saveField();
        saveRecord();
        break;
    default:
        saveField();
        saveRecord();
    }
    return records;
}
