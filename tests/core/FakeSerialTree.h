#pragma once
// A fake /dev + /sys tree laid out as the kernel and udev lay out the real
// one: device nodes, by-id links, and sysfs folders reached through
// class/tty links, with the attributes the port survey reads. Its proc
// folder is the real one, so programs holding a device are seen.
#include <filesystem>
#include <fstream>
#include <string>

class FakeSerialTree {
 public:
  struct Usb {
    std::string name;  // "ttyUSB0" or "ttyACM0"
    std::string bus;   // "1-1": the USB device's folder
    std::string vendorId, productId, maker, product, serial;
    std::string driver;  // "ftdi_sio", "cdc_acm"
    std::string byId;    // name under dev/serial/by-id; empty for none
    std::string node;    // the device node's stand-in: a link to it; empty: an empty file
  };

  explicit FakeSerialTree(std::string root) : root_(std::move(root)) {
    std::filesystem::create_directories(root_ + "/dev");
    std::filesystem::create_directories(root_ + "/sys/class/tty");
    std::filesystem::create_directory_symlink("/proc", root_ + "/proc");
  }
  const std::string& root() const { return root_; }
  std::string dev(const std::string& name) const { return root_ + "/dev/" + name; }
  std::string byId(const std::string& name) const { return root_ + "/dev/serial/by-id/" + name; }

  void addUsb(const Usb& u) {
    const bool acm = u.name.compare(0, 6, "ttyACM") == 0;
    const std::string usb = "devices/pci0000:00/0000:00:14.0/usb1/" + u.bus;
    const std::string iface = usb + "/" + u.bus + ":1.0";
    const std::string port = acm ? iface : iface + "/" + u.name;  // the device the tty hangs on
    write(usb + "/idVendor", u.vendorId);
    write(usb + "/idProduct", u.productId);
    if (!u.maker.empty()) write(usb + "/manufacturer", u.maker);
    if (!u.product.empty()) write(usb + "/product", u.product);
    if (!u.serial.empty()) write(usb + "/serial", u.serial);
    link(port + "/driver",
         std::string("../../../../../../bus/") + (acm ? "usb" : "usb-serial") + "/drivers/" + u.driver);
    link(port + "/tty/" + u.name + "/device", "../../../" + std::filesystem::path(port).filename().string());
    link("class/tty/" + u.name, "../../" + port + "/tty/" + u.name);
    addNode(u.name, u.node);
    if (!u.byId.empty()) {
      std::filesystem::create_directories(root_ + "/dev/serial/by-id");
      std::filesystem::create_symlink("../../" + u.name, byId(u.byId));
    }
  }

  // An on-board port: type 0 is an empty slot, 4 a 16550A.
  void addUart(const std::string& name, int type, const std::string& ioPort = "0x3F8") {
    const std::string slot = "devices/pnp0/00:0" + name.substr(4);
    const std::string port =
        slot + "/" + slot.substr(slot.rfind('/') + 1) + ":0/" + slot.substr(slot.rfind('/') + 1) + ":0.0";
    write(port + "/tty/" + name + "/type", std::to_string(type));
    write(port + "/tty/" + name + "/port", type ? ioPort : "0x0");
    link(port + "/tty/" + name + "/device", "../../../" + std::filesystem::path(port).filename().string());
    link(port + "/driver", "../../../../bus/serial-base/drivers/port");
    link(slot + "/driver", "../../../bus/pnp/drivers/serial");
    link("class/tty/" + name, "../../" + port + "/tty/" + name);
    addNode(name, {});
  }

  // The adapter is pulled: its node, by-id link, class entry and sysfs folder go.
  void unplug(const Usb& u) {
    std::filesystem::remove(dev(u.name));
    std::filesystem::remove(root_ + "/sys/class/tty/" + u.name);
    std::filesystem::remove_all(sys("devices/pci0000:00/0000:00:14.0/usb1/" + u.bus));
    if (!u.byId.empty()) std::filesystem::remove(byId(u.byId));
  }

 private:
  std::string sys(const std::string& rel) const { return root_ + "/sys/" + rel; }
  void write(const std::string& rel, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(sys(rel)).parent_path());
    std::ofstream(sys(rel)) << text << "\n";
  }
  void link(const std::string& rel, const std::string& target) {
    std::filesystem::create_directories(std::filesystem::path(sys(rel)).parent_path());
    std::filesystem::create_symlink(target, sys(rel));
  }
  void addNode(const std::string& name, const std::string& node) {
    if (node.empty())
      std::ofstream(dev(name)) << "";
    else
      std::filesystem::create_symlink(node, dev(name));
  }

  std::string root_;
};
