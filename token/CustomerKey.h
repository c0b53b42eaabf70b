#pragma once

#include "SecretBuffer.h"

#include <cstddef>
#include <cstdint>

// The customer key shared with the tokens: 16 bytes, held by the station as
// 32 hexadecimal characters.
constexpr size_t CUSTOMER_KEY_SIZE = 16;
using CustomerKey = SecretBuffer<CUSTOMER_KEY_SIZE>;

// Converts each pair of characters into one byte, the first giving the high
// four bits ("0"-"9", "a"-"f", "A"-"F"; any other character counts as 0, so
// check the text first). A last odd character is ignored, and at most
// capacity bytes are written. Returns the number of bytes written.
size_t HexToBytes(const char* text, uint8_t* out, size_t capacity);

// TOKEN_OK for exactly 32 hexadecimal digits, TOKEN_ERR_NO_KEY for a missing
// or empty text, TOKEN_ERR_BAD_KEY for anything else.
int32_t CheckCustomerKeyText(const char* text);

// Checks the text and converts it into key: a result of CheckCustomerKeyText.
int32_t ReadCustomerKey(const char* text, CustomerKey& key);
