#include "builder/download/device_list.h"

#include <gtest/gtest.h>

namespace brindlecor::builder {
namespace {

TEST(DeviceList, ReadsQuotedFieldsAndKeepsLineNumbers) {
    const DeviceList list = readDeviceList(
        "\xEF\xBB\xBF"
        "Address,Port,password,device_name,dhcp,p1\r\n"
        "10.0.0.5,26481,secret,\"Lab, north\",on,&H80\r\n"
        "\r\n"
        "10.0.0.6,,,\"Two\r\nlines \"\"quoted\"\"\",,\r\n"
        " host.example ,  27000 ,,K\xC3\xBC"
        "che,Off,\n");
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.devices.size(), 3u);
    const ListedDevice& first = list.devices[0];
    EXPECT_EQ(first.line, 2);
    EXPECT_EQ(first.address, "10.0.0.5");
    EXPECT_EQ(first.port, 26481);
    EXPECT_EQ(first.password, "secret");
    EXPECT_EQ(first.overrides[static_cast<int>(OverrideKind::DeviceName)], "Lab, north");
    EXPECT_EQ(first.overrides[static_cast<int>(OverrideKind::Dhcp)], "on");
    EXPECT_EQ(first.overrides[static_cast<int>(OverrideKind::InitializeP1)], "&H80");
    EXPECT_FALSE(first.overrides[static_cast<int>(OverrideKind::DefaultIpAddress)]);

    const ListedDevice& second = list.devices[1];
    EXPECT_EQ(second.line, 4);
    EXPECT_EQ(second.port, 0) << "an empty cell is not given";
    EXPECT_FALSE(second.password);
    EXPECT_EQ(second.overrides[static_cast<int>(OverrideKind::DeviceName)], "Two\r\nlines \"quoted\"");
    EXPECT_FALSE(second.overrides[static_cast<int>(OverrideKind::Dhcp)]);

    const ListedDevice& third = list.devices[2];
    EXPECT_EQ(third.line, 6) << "counted past the line break inside the quotes";
    EXPECT_EQ(third.address, "host.example");
    EXPECT_EQ(third.port, 27000);
    EXPECT_EQ(third.overrides[static_cast<int>(OverrideKind::DeviceName)],
              "K\xFC"
              "che")
        << "Windows-1252";
}

TEST(DeviceList, EveryBadLineIsNamed) {
    struct Case {
        std::string csv;
        std::string error;
    } cases[] = {
        {"", "no header line naming the columns"},
        {"address\n", "no device after the header line"},
        {"port,name\n1,2\n", "line 1: unknown column \"name\""},
        {"address,Address\n", "line 1: the column \"address\" is named twice"},
        {"port\n26481\n", "line 1: no \"address\" column"},
        {"address,port\n10.0.0.1,1\n10.0.0.2\n", "line 3: 1 fields where the header names 2"},
        {"address,port\n10.0.0.1,http\n", "line 2: port \"http\": not a port number 1-65535"},
        {"address,p1\n10.0.0.1,70000\n", "line 2: p1 \"70000\": not a number from -32768 to 32767"},
        {"address,ip\n10.0.0.1,10.0.0\n",
         "line 2: ip \"10.0.0\": not an IP address: it has fewer than four numbers"},
        {"address,dhcp\n\n\n10.0.0.1,maybe\n", "line 4: dhcp \"maybe\": not On or Off"},
        {"address,access_password\n10.0.0.1,admin:0123456789abcdefghij\n",
         "line 2: access_password \"admin:0123456789abcdefghij\": longer than 24 characters"},
        {"address,master_password\n10.0.0.1,root\n",
         "line 2: master_password \"root\": not Username:Password"},
        {"address,device_name\n10.0.0.1,\"Lab\n", "line 2: a quoted field has no closing quote"},
        {"address,device_name\n10.0.0.1,\"Lab\"x\n", "line 2: text after a quoted field"},
        {"address,device_name\n10.0.0.1,La\"b\n",
         "line 2: a quote inside a field that does not start with one"},
        {"address,device_name\n10.0.0.1,K\xFC"
         "che\n",
         "line 2: device_name: not UTF-8, or a character the device cannot hold"},
        {"address,device_name\n,Lab\n", "line 2: no address"},
    };
    for (const auto& c : cases) {
        const DeviceList list = readDeviceList(c.csv);
        const std::string where = list.errorLine ? "line " + std::to_string(list.errorLine) + ": " : "";
        EXPECT_EQ(where + list.error, c.error) << c.csv;
        EXPECT_TRUE(list.devices.empty()) << c.csv;
    }
}

}  // namespace
}  // namespace brindlecor::builder
