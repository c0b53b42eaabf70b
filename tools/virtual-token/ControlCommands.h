#pragma once

#include <string>

class VirtualToken;
class VpcdLink;

// The virtual token's control interface for operators and scripts: one
// command a line, one answer a line.
//
//   state              the token as JSON (serial, seed, algorithm, clock, code, ...)
//   insert | remove    put the token on the reader or lift it
//   status XXXX [II]   answer the next command (the next with instruction byte II)
//                      with status word XXXX, both hexadecimal
//   lift-now           lift the token when the next command arrives, unanswered
//   lift-after         lift the token right after answering the next command
//   delay MS           wait MS milliseconds before every answer (0: none)
//   serial TEXT        change the serial number (up to 32 bytes)
//   help
//
// Answers are "ok", the JSON of state, "error: ..." or the help text.
std::string RunControlCommand(VirtualToken& token, VpcdLink& link, const std::string& line);

// The token's state as one line of JSON, with its clock and code now.
std::string StateJson(const VirtualToken& token, const VpcdLink& link);
