#include "TokenCommands.h"

#include "TokenSession.h"

#include <cstring>

int32_t TokenReadInfo(const char* reader, uint8_t* serial, unsigned* serialLength, uint8_t* clock,
                      unsigned* clockLength)
{
    TokenSession session;
    if (session.open(reader) != TOKEN_OK)
        return TOKEN_ERR_CONNECT;
    return session.readInfo(serial, serialLength, clock, clockLength);
}

int32_t TokenAuthenticate(const char* reader, const char* customerKeyText)
{
    TokenSession session;
    if (session.open(reader) != TOKEN_OK)
        return TOKEN_ERR_CONNECT;
    return session.authenticate(customerKeyText);
}

int32_t TokenWriteSeed(const char* reader, const char* customerKeyText, const uint8_t* seed,
                       int seedLength)
{
    TokenSession session;
    if (session.open(reader) != TOKEN_OK)
        return TOKEN_ERR_CONNECT;
    return session.writeSeed(customerKeyText, seed, seedLength);
}

int32_t TokenConfigure(const char* reader, const char* customerKeyText, const char* algorithmName,
                       int timeStep, int displayTime, const char* timeText, int option)
{
    TokenSession session;
    if (session.open(reader) != TOKEN_OK)
        return TOKEN_ERR_CONNECT;
    return session.configure(customerKeyText, algorithmName, timeStep, displayTime, timeText,
                             option);
}

int32_t TokenSeal(const char* reader, const char* customerKeyText)
{
    TokenSession session;
    if (session.open(reader) != TOKEN_OK)
        return TOKEN_ERR_CONNECT;
    return session.seal(customerKeyText);
}
