#include "SecureMessaging.h"

#include "Sm4.h"

int BuildSecuredCommand(const uint8_t* key, uint8_t ins, uint8_t p1, uint8_t p2,
                        const uint8_t* data, size_t length, Apdu& apdu)
{
    if (length > SECURED_DATA_MAX || (data == nullptr && length > 0))
        return -1;

    Apdu macInput{CLA_PLAIN, ins, p1, p2, static_cast<uint8_t>(length)};
    macInput.insert(macInput.end(), data, data + length);
    uint8_t mac[4] = {};
    unsigned macLength = sizeof mac;
    if (int result =
            Sm4Mac(key, macInput.data(), static_cast<unsigned>(macInput.size()), mac, &macLength);
        result != SM4_OK)
        return result;

    apdu = {CLA_SECURED, ins, p1, p2, static_cast<uint8_t>(length + 4)};
    apdu.insert(apdu.end(), data, data + length);
    apdu.insert(apdu.end(), mac, mac + 4);
    return 0;
}
