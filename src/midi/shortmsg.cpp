// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/shortmsg.h"

#include "midi/midioutdevice.h"

#include <bit>

namespace midi {

static_assert(std::endian::native == std::endian::little, "GetBytes relies on a little-endian word");

CShortMsg::CShortMsg(std::uint32_t timeStamp)
    : timeStamp(timeStamp), msg(0), dataOnly(0)
{
}

CShortMsg::CShortMsg(std::uint32_t packedMsg, std::uint32_t timeStamp)
    : timeStamp(timeStamp), msg(packedMsg), dataOnly((packedMsg >> 8) & 0xFFFF)
{
}

CShortMsg::CShortMsg(unsigned char status, unsigned char data1, unsigned char data2, std::uint32_t timeStamp)
    : timeStamp(timeStamp), msg(0), dataOnly(0)
{
    SetMsg(status, data1, data2);
}

CShortMsg::CShortMsg(unsigned char command, unsigned char channel, unsigned char data1, unsigned char data2,
                     std::uint32_t timeStamp)
    : timeStamp(timeStamp), msg(0), dataOnly(0)
{
    SetMsg(command, channel, data1, data2);
}

void CShortMsg::Send(CMIDIOutDevice& outDevice)
{
    outDevice.SendShortMsg(msg);
}

void CShortMsg::SendNoStatus(CMIDIOutDevice& outDevice)
{
    outDevice.SendShortMsg(dataOnly);
}

std::uint32_t CShortMsg::GetLength() const
{
    return 3;
}

const unsigned char* CShortMsg::GetBytes() const
{
    return reinterpret_cast<const unsigned char*>(&msg);
}

void CShortMsg::SetMsg(unsigned char status, unsigned char data1, unsigned char data2)
{
    msg = Pack(status, data1, data2);
    dataOnly = PackData(data1, data2);
}

void CShortMsg::SetMsg(unsigned char command, unsigned char channel, unsigned char data1, unsigned char data2)
{
    msg = Pack(command, channel, data1, data2);
    dataOnly = PackData(data1, data2);
}

unsigned char CShortMsg::GetStatus() const
{
    unsigned char command, channel, data1, data2;
    Unpack(msg, command, channel, data1, data2);
    return static_cast<unsigned char>(command | channel);
}

unsigned char CShortMsg::GetCommand() const
{
    unsigned char command, channel, data1, data2;
    Unpack(msg, command, channel, data1, data2);
    return command;
}

unsigned char CShortMsg::GetChannel() const
{
    unsigned char command, channel, data1, data2;
    Unpack(msg, command, channel, data1, data2);
    return channel;
}

unsigned char CShortMsg::GetData1() const
{
    unsigned char command, channel, data1, data2;
    Unpack(msg, command, channel, data1, data2);
    return data1;
}

unsigned char CShortMsg::GetData2() const
{
    unsigned char command, channel, data1, data2;
    Unpack(msg, command, channel, data1, data2);
    return data2;
}

std::uint32_t CShortMsg::Pack(unsigned char status, unsigned char data1, unsigned char data2)
{
    return std::uint32_t(status) + std::uint32_t(data1) * 0x100 + std::uint32_t(data2) * 0x10000;
}

std::uint32_t CShortMsg::Pack(unsigned char command, unsigned char channel, unsigned char data1, unsigned char data2)
{
    return Pack(static_cast<unsigned char>(command | channel), data1, data2);
}

std::uint32_t CShortMsg::PackData(unsigned char data1, unsigned char data2)
{
    return std::uint32_t(data1) + std::uint32_t(data2) * 0x100;
}

void CShortMsg::Unpack(std::uint32_t packedMsg, unsigned char& status, unsigned char& data1, unsigned char& data2)
{
    status = static_cast<unsigned char>(packedMsg & 0xFF);
    data1 = static_cast<unsigned char>((packedMsg >> 8) & 0xFF);
    data2 = static_cast<unsigned char>((packedMsg >> 16) & 0xFF);
}

void CShortMsg::Unpack(std::uint32_t packedMsg, unsigned char& command, unsigned char& channel,
                       unsigned char& data1, unsigned char& data2)
{
    command = static_cast<unsigned char>(packedMsg & 0xF0);
    channel = static_cast<unsigned char>(packedMsg & 0x0F);
    data1 = static_cast<unsigned char>((packedMsg >> 8) & 0xFF);
    data2 = static_cast<unsigned char>((packedMsg >> 16) & 0xFF);
}

} // namespace midi
