// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midimsg.h"

#include <cstdint>

namespace midi {

// A channel message packed into one word: status in bits 0-7, first data
// byte in bits 8-15, second in bits 16-23.
class CShortMsg : public CMIDIMsg {
public:
    // An empty message (word 0) with this time stamp.
    explicit CShortMsg(std::uint32_t timeStamp = 0);
    // A received word, kept exactly as delivered.
    CShortMsg(std::uint32_t packedMsg, std::uint32_t timeStamp);
    // A message from its status and data bytes.
    CShortMsg(unsigned char status, unsigned char data1, unsigned char data2, std::uint32_t timeStamp);
    // A message from command and channel (ORed into the status byte) and data bytes.
    CShortMsg(unsigned char command, unsigned char channel, unsigned char data1, unsigned char data2,
              std::uint32_t timeStamp);

    // Sends the whole word.
    void Send(CMIDIOutDevice& outDevice) override;
    // Sends only the two data bytes (running status).
    void SendNoStatus(CMIDIOutDevice& outDevice);
    // Always 3.
    std::uint32_t GetLength() const override;
    // The word's bytes, status first.
    const unsigned char* GetBytes() const override;

    // Replaces the message by status and data bytes.
    void SetMsg(unsigned char status, unsigned char data1, unsigned char data2);
    // Replaces the message by command, channel and data bytes.
    void SetMsg(unsigned char command, unsigned char channel, unsigned char data1, unsigned char data2);

    // Status byte.
    unsigned char GetStatus() const;
    // Status byte with the channel masked off (Note On gives 0x90).
    unsigned char GetCommand() const;
    // Channel, 0-15.
    unsigned char GetChannel() const;
    // First data byte.
    unsigned char GetData1() const;
    // Second data byte.
    unsigned char GetData2() const;

    // The packed word.
    std::uint32_t GetMsg() const { return msg; }
    // The data bytes alone (running-status form).
    std::uint32_t GetDataOnly() const { return dataOnly; }
    // The time stamp given at construction.
    std::uint32_t GetTimeStamp() const { return timeStamp; }

    // status + data1 × 0x100 + data2 × 0x10000.
    static std::uint32_t Pack(unsigned char status, unsigned char data1, unsigned char data2);
    // (command OR channel) + data1 × 0x100 + data2 × 0x10000, nothing masked.
    static std::uint32_t Pack(unsigned char command, unsigned char channel, unsigned char data1, unsigned char data2);
    // data1 + data2 × 0x100.
    static std::uint32_t PackData(unsigned char data1, unsigned char data2);
    // Splits a word into status and data bytes; bits 24-31 are ignored.
    static void Unpack(std::uint32_t packedMsg, unsigned char& status, unsigned char& data1, unsigned char& data2);
    // Splits a word into command, channel and data bytes.
    static void Unpack(std::uint32_t packedMsg, unsigned char& command, unsigned char& channel,
                       unsigned char& data1, unsigned char& data2);

private:
    std::uint32_t timeStamp;
    std::uint32_t msg;
    std::uint32_t dataOnly;
};

} // namespace midi
