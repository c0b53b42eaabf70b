#include "CustomerKey.h"

#include "TokenResult.h"

namespace {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

size_t HexToBytes(const char* text, uint8_t* out, size_t capacity)
{
    if (text == nullptr || out == nullptr)
        return 0;
    size_t written = 0;
    for (; written < capacity && text[0] != '\0' && text[1] != '\0'; text += 2) {
        const int high = HexDigitValue(text[0]);
        const int low = HexDigitValue(text[1]);
        out[written++] = static_cast<uint8_t>(((high < 0 ? 0 : high) << 4) | (low < 0 ? 0 : low));
    }
    return written;
}

int32_t CheckCustomerKeyText(const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return TOKEN_ERR_NO_KEY;
    size_t length = 0;
    for (; text[length] != '\0'; ++length) {
        if (length == 2 * CUSTOMER_KEY_SIZE || HexDigitValue(text[length]) < 0)
            return TOKEN_ERR_BAD_KEY;
    }
    return length == 2 * CUSTOMER_KEY_SIZE ? TOKEN_OK : TOKEN_ERR_BAD_KEY;
}

int32_t ReadCustomerKey(const char* text, CustomerKey& key)
{
    const int32_t result = CheckCustomerKeyText(text);
    if (result == TOKEN_OK)
        HexToBytes(text, key.data(), key.size());
    return result;
}
