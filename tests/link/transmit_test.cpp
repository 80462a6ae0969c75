#include "link/transmit.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "recording_port.h"

namespace qmt {
namespace {

using test::PortEvent;
using test::RecordingPort;

constexpr std::uint16_t kData = 0x378, kStatus = 0x379, kControl = 0x37A;

std::vector<PortEvent> OneByteHandshake(std::uint8_t c) {
  std::vector<PortEvent> e;
  e.push_back({PortEvent::kOut, kControl, 0x0E});
  e.push_back({PortEvent::kIn, kStatus, 0x80});
  e.push_back({PortEvent::kOut, kData, c});
  for (int i = 0; i < 24; ++i) e.push_back({PortEvent::kOut, kControl, 0x0F});
  for (int i = 0; i < 16; ++i) e.push_back({PortEvent::kOut, kControl, 0x0E});
  return e;
}

TEST(PortTransmitter, NeverBusyDeviceGetsExactRegisterSequencePerByte) {
  RecordingPort port(0x80);
  PortTransmitter tx(port);
  ASSERT_TRUE(tx.SendLine("ER"));
  std::vector<PortEvent> expected;
  for (std::uint8_t c : {0x45, 0x52, 0x0D}) {
    auto one = OneByteHandshake(c);
    expected.insert(expected.end(), one.begin(), one.end());
  }
  EXPECT_EQ(port.events, expected);
  // The data byte written for the handshake is not kept in the image.
  EXPECT_EQ(tx.Image(), 0x000EFFFFu);
}

TEST(PortTransmitter, FirstUseFixesBaseAndGrantsOnce) {
  RecordingPort port(0x80);
  std::vector<std::pair<std::uint16_t, std::uint16_t>> grants;
  std::size_t eventsAtGrant = 99;
  PortTransmitter tx(port, [&](std::uint16_t first, std::uint16_t last) {
    grants.emplace_back(first, last);
    eventsAtGrant = port.events.size();
  });
  EXPECT_FALSE(tx.Ready());
  EXPECT_FALSE(tx.DeviceBusy());
  ASSERT_EQ(grants.size(), 1u);
  EXPECT_EQ(grants[0], std::make_pair(std::uint16_t{0x378}, std::uint16_t{0x37B}));
  EXPECT_EQ(eventsAtGrant, 0u);  // before any register access
  tx.SendLine("DS0");
  tx.SetPin(3);
  EXPECT_EQ(grants.size(), 1u);
  EXPECT_EQ(tx.Base(), 0x378);
}

TEST(PortTransmitter, NoDeviceFailsFirstByteAfter101ReadingsButStrobesIt) {
  RecordingPort port(0x00);
  PortTransmitter tx(port);
  EXPECT_FALSE(tx.SendLine("DS0"));
  EXPECT_EQ(port.Count(PortEvent::kIn), 101);
  EXPECT_EQ(port.Count(PortEvent::kSleep), 101);
  for (const auto& e : port.events) {
    if (e.kind == PortEvent::kSleep) {
      EXPECT_EQ(e.value, 1);
    }
  }
  EXPECT_EQ(port.Writes(kData), std::vector<std::uint8_t>{'D'});
  EXPECT_EQ(port.Writes(kControl).size(), 1u + 24 + 16);
  // The strobe comes after the data byte: nothing but control writes follow.
  EXPECT_EQ(port.events.back(), (PortEvent{PortEvent::kOut, kControl, 0x0E}));
}

TEST(PortTransmitter, DeviceAnsweringLateStillSucceeds) {
  // BUSY for three readings, then ready.
  struct SlowPort : RecordingPort {
    SlowPort() : RecordingPort(0x80) {}
    int busy = 3;
    std::uint8_t In(std::uint16_t p) override {
      std::uint8_t v = RecordingPort::In(p);
      return busy-- > 0 ? 0x00 : v;
    }
  } port;
  PortTransmitter tx(port);
  EXPECT_TRUE(tx.SendByte('A'));
  EXPECT_EQ(port.Count(PortEvent::kIn), 4);
  EXPECT_EQ(port.Count(PortEvent::kSleep), 3);
}

TEST(PortTransmitter, LineBytesGoOutUnchangedThenCarriageReturn) {
  struct Case {
    std::string line;
    std::vector<std::uint8_t> data;
  };
  const Case cases[] = {
      {"", {13}},
      {std::string("GI\x0D\x00,R", 6), {'G', 'I', 13, 0, ',', 'R', 13}},
  };
  for (const auto& c : cases) {
    RecordingPort port(0x80);
    PortTransmitter tx(port);
    EXPECT_TRUE(tx.SendLine(c.line));
    EXPECT_EQ(port.Writes(kData), c.data) << c.line.size();
  }
}

TEST(PortTransmitter, PinsWriteTheirRegisterWithInversionCompensated) {
  struct Case {
    bool set;
    unsigned pin;
    std::uint16_t port;
    std::uint8_t value;
  };
  const Case cases[] = {
      {true, 48, kControl, 0x0F},   // pin 16 with the opposite sense: STROBE active
      {false, 48, kControl, 0x0E},
      {true, 16, kControl, 0x0E},   // inverted: high on the connector clears the bit
      {true, 17, kControl, 0x0D},
      {true, 19, kControl, 0x07},
      {false, 18, kControl, 0x0B},  // INIT is not inverted
      {false, 0, kData, 0xFE},
      {true, 32, kData, 0xFE},
  };
  for (const auto& c : cases) {
    RecordingPort port(0x80);
    PortTransmitter tx(port);
    if (c.set)
      tx.SetPin(c.pin);
    else
      tx.ClearPin(c.pin);
    ASSERT_EQ(port.events.size(), 1u) << c.pin;
    EXPECT_EQ(port.events[0], (PortEvent{PortEvent::kOut, c.port, c.value}))
        << (c.set ? "SetPin " : "ClearPin ") << c.pin;
  }
}

TEST(PortTransmitter, ReadPinInvertsBusyAndHighPins) {
  RecordingPort idle(0x80), busy(0x00);
  PortTransmitter a(idle), b(busy);
  EXPECT_FALSE(a.ReadPin(15));
  EXPECT_TRUE(a.ReadPin(47));
  EXPECT_TRUE(b.ReadPin(15));
  EXPECT_TRUE(b.DeviceBusy());
  EXPECT_FALSE(b.ReadPin(14));
  EXPECT_TRUE(b.ReadPin(46));
}

}  // namespace
}  // namespace qmt
