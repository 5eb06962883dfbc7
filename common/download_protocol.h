// The UDP download protocol between the builder and a device: request header layout, command codes and the
// designed ports. A request is the 20-byte header followed by its data bytes; a reply echoes the header
// and carries one byte per data byte.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brindlecor::download {

constexpr size_t kHeaderSize = 20;
constexpr size_t kCommandOffset = 0;
constexpr size_t kAddressLowOffset = 1;  // the parameter byte of the restart commands
constexpr size_t kAddressHighOffset = 2;
constexpr size_t kCountOffset = 3;  // 0 stands for 256
constexpr size_t kPasswordOffset = 4;
constexpr size_t kPasswordSize = 16;
constexpr size_t kMaxDataSize = 256;
constexpr size_t kMaxRequestSize = kHeaderSize + kMaxDataSize;

constexpr uint8_t CMD_ERASE = 0x01;
constexpr uint8_t CMD_PROGRAM = 0x02;
constexpr uint8_t CMD_READ = 0x03;
constexpr uint8_t CMD_RESTART = 0x86;
constexpr uint8_t CMD_FIRMWARE_RESTART = 0x47;       // "G"
constexpr uint8_t kRestartParameter = 0x68;          // "h"
constexpr uint8_t kFirmwareRestartParameter = 0x74;  // "t"

constexpr size_t kEraseBlockSize = 0x4000;
constexpr uint8_t kEraseBlocks[] = {0xC0, 0x80, 0x40};
constexpr size_t kPageSize = 256;

// Firmware upgrade images carry this mark at file offset 531 and a description from offset 512, ended by
// 0x1A and never reaching offset 700.
constexpr size_t kFirmwareMarkOffset = 531;
constexpr char kFirmwareMark[] = "Brindlecor";
constexpr size_t kFirmwareDescriptionOffset = 512;
constexpr size_t kFirmwareDescriptionEnd = 700;
constexpr uint8_t kFirmwareDescriptionStop = 0x1A;

// Ports: the builder sends from LOCAL_UDP_PORT; the device listens on the others.
constexpr uint16_t LOCAL_UDP_PORT = 26000;
constexpr uint16_t kDownloadPort = 26481;
constexpr uint16_t kNameQueryPort = 26480;
constexpr uint16_t kRamWritePort = 26482;
constexpr uint16_t kOutgoingDatagramPort = 4096;

// A text datagram that reaches the download port but is no request; it is never answered.
constexpr char kStartupAnnouncement[] = "<<brindlecor startup>>";

// RAM registers that describe the outgoing datagram.
constexpr uint16_t kOutgoingAddressRam = 0x2D6;  // 4 bytes, dotted order
constexpr uint16_t kOutgoingPortRam = 0x2DA;     // little-endian
constexpr uint16_t kOutgoingDataRam = 0x2DC;     // RAM address of the data, little-endian
constexpr uint16_t kOutgoingCountRam = 0x2DE;    // little-endian; 0 sends nothing

}  // namespace brindlecor::download
