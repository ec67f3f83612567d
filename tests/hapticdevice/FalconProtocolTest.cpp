#include "hapticdevice/falcon/FalconProtocol.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace Kiln::falcon;

namespace {

std::string text(const std::uint8_t* bytes, std::size_t size = packetSize) {
    return std::string(reinterpret_cast<const char*>(bytes), size);
}

std::vector<std::uint8_t> bytesOf(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> statusPacket(std::int16_t a, std::int16_t b, std::int16_t c, std::uint8_t grip,
                                       std::uint8_t homed) {
    Status status;
    status.encoder[0] = a;
    status.encoder[1] = b;
    status.encoder[2] = c;
    status.grip = grip;
    status.homed = homed;
    std::vector<std::uint8_t> packet(packetSize);
    encodeStatus(status, packet.data());
    return packet;
}

} // namespace

TEST(FalconProtocol, EncodesTheDevicesOwnExamples) {
    const std::pair<std::int16_t, const char*> values[] = {
        {0, "AAAA"},     {1, "BAAA"},     {-1, "PPPP"},    {1000, "IODA"},   {-1000, "IBMP"},
        {4095, "PPPA"},  {-4096, "AAAP"}, {32767, "PPPH"}, {-32768, "AAAI"},
    };
    for (const auto& [value, chars] : values) {
        std::uint8_t out[4];
        encodeInt16(value, out);
        EXPECT_EQ(text(out, 4), chars) << value;
        EXPECT_EQ(decodeInt16(out), value) << chars;
    }
    std::uint8_t packet[packetSize];
    encodeCommand(Command{}, packet);
    EXPECT_EQ(text(packet), "<AAAAAAAAAAAAAA>");
    Command command;
    command.motor[0] = 1000;
    command.motor[1] = -1000;
    command.control = controlHoming | controlGreenLed;
    encodeCommand(command, packet);
    EXPECT_EQ(text(packet), "<IODAIBMPAAAADA>");
    command = Command{};
    command.control = controlHoming | controlRedLed;
    encodeCommand(command, packet);
    EXPECT_EQ(text(packet), "<AAAAAAAAAAAAJA>");

    // The hardware documentation's reading "JFKP" is -1447.
    EXPECT_EQ(decodeInt16(reinterpret_cast<const std::uint8_t*>("JFKP")), -1447);

    // The status's byte 13 holds homing above the grip and runs past 'P'.
    Status status;
    const std::vector<std::uint8_t> homedPlus = bytesOf("<AAAAAAAAAAAA\xB2" "A>");
    ASSERT_TRUE(decodeStatus(homedPlus.data(), status));
    EXPECT_EQ(status.homed, 7);
    EXPECT_EQ(status.grip, gripPlus);
    EXPECT_TRUE(status.isHomed());
}

TEST(FalconProtocol, PacketsSurviveEncodingAndDecoding) {
    for (int v = -32768; v <= 32767; ++v) {
        std::uint8_t out[4];
        encodeInt16(static_cast<std::int16_t>(v), out);
        ASSERT_EQ(decodeInt16(out), v);
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    for (int i = 0; i < 2000; ++i) {
        Status in;
        for (auto& e : in.encoder)
            e = static_cast<std::int16_t>(value(random));
        in.grip = static_cast<std::uint8_t>(i & 0xF);
        in.homed = static_cast<std::uint8_t>((i >> 4) & 7);
        std::uint8_t packet[packetSize];
        encodeStatus(in, packet);
        Status out;
        ASSERT_TRUE(decodeStatus(packet, out));
        EXPECT_EQ(std::vector<int>(out.encoder, out.encoder + 3), std::vector<int>(in.encoder, in.encoder + 3));
        EXPECT_EQ(out.grip, in.grip);
        EXPECT_EQ(out.homed, in.homed);

        Command command;
        for (auto& m : command.motor)
            m = static_cast<std::int16_t>(value(random));
        command.control = static_cast<std::uint8_t>(i & 0xF);
        encodeCommand(command, packet);
        Command back;
        ASSERT_TRUE(decodeCommand(packet, back));
        EXPECT_EQ(back.motor[0], command.motor[0]);
        EXPECT_EQ(back.motor[2], command.motor[2]);
        EXPECT_EQ(back.control, command.control);
    }
}

TEST(FalconStatusReader, FindsEveryPacketInPiecesNoiseAndMisframing) {
    std::vector<std::uint8_t> stream;
    std::vector<std::vector<std::uint8_t>> sent;
    std::size_t noiseBytes = 0;
    std::mt19937 random(11);
    for (int i = 0; i < 300; ++i) {
        const auto packet = statusPacket(static_cast<std::int16_t>(i * 97 - 9000), static_cast<std::int16_t>(-i),
                                         static_cast<std::int16_t>(i * 3), static_cast<std::uint8_t>(i & 0xF),
                                         static_cast<std::uint8_t>(i % 8));
        sent.push_back(packet);
        switch (i % 5) {
        case 1: { // a broken packet: its first 14 bytes, then the next packet
            stream.insert(stream.end(), packet.begin(), packet.begin() + 14);
            noiseBytes += 14;
            break;
        }
        case 2: { // stray frame characters and a nibble out of range
            const auto junk = bytesOf("<>>Z<AAAAAAAAAAAzAA>");
            stream.insert(stream.end(), junk.begin(), junk.end());
            noiseBytes += junk.size();
            break;
        }
        default:
            break;
        }
        stream.insert(stream.end(), packet.begin(), packet.end());
    }

    StatusReader reader;
    std::vector<std::vector<std::uint8_t>> got;
    std::uniform_int_distribution<std::size_t> pieceSize(1, 40);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t size = std::min(pieceSize(random), stream.size() - at);
        reader.append(stream.data() + at, size);
        at += size;
        Status status;
        while (reader.next(status)) {
            std::vector<std::uint8_t> packet(packetSize);
            encodeStatus(status, packet.data());
            got.push_back(packet);
        }
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(reader.packetsAccepted(), sent.size());
    EXPECT_EQ(reader.bytesDropped(), noiseBytes);
    EXPECT_GT(reader.packetsRejected(), 0u);
    EXPECT_EQ(reader.pending(), 0u);
}

TEST(FalconStatusReader, GarbageNeverCrashesNorPassesAsAReading) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> framed(0, 3);
    StatusReader reader;
    std::vector<std::uint8_t> chunk(700); // larger than the reader holds
    std::uint64_t accepted = 0;
    for (int round = 0; round < 200; ++round) {
        for (auto& b : chunk) {
            // Mostly characters that look like packets, to reach deep paths.
            const int kind = framed(random);
            b = static_cast<std::uint8_t>(kind == 0 ? '<' : kind == 1 ? 'A' + byte(random) % 17 : byte(random));
        }
        reader.append(chunk.data(), chunk.size());
        Status status;
        while (reader.next(status)) {
            ++accepted;
            // Anything accepted is a packet the device could have sent.
            std::uint8_t again[packetSize];
            encodeStatus(status, again);
            Status twice;
            ASSERT_TRUE(decodeStatus(again, twice));
            EXPECT_EQ(twice.encoder[1], status.encoder[1]);
        }
        EXPECT_LT(reader.pending(), packetSize);
    }
    EXPECT_EQ(reader.packetsAccepted(), accepted);
    EXPECT_GT(reader.bytesDropped(), 0u);
}
