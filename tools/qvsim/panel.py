"""The simulated panel's contents: panel information, two loops, devices,
and the faults that replace or spoil chosen replies."""
from qvsim import protocol as p


def _byte(v) -> int:
    return int(v) & 0xFF


def _raw(text) -> bytes:
    return bytes.fromhex(text) if isinstance(text, str) else bytes(_byte(v) for v in text)


def device_bytes(dev: dict) -> bytes:
    """Positions 9..23 of a device reply."""
    if "raw" in dev:
        return _raw(dev["raw"])
    ident = list(dev.get("id", [0, 0, 0, 0]))[:4]
    ident += [0] * (4 - len(ident))
    addr = _byte(dev.get("address", 1))
    return bytes([
        addr,
        _byte(dev.get("old", addr)),
        _byte(dev.get("next", addr + 1)),
        1 if dev.get("branches") else 0,
        _byte(dev.get("prev", max(addr - 1, 0))),
        *(_byte(v) for v in ident),
        _byte(dev.get("type", 1)),
        0, 0,
        _byte(dev.get("zone", 1)),
        _byte(dev.get("status", 1)),
        _byte(dev.get("flags", 0)),
    ])


def generated_devices(count: int, loop: int) -> list:
    types = [1, 2, 3, 4, 5, 7, 8, 0xC1, 0xC8, 0x80]
    return [{"address": a, "type": types[a % len(types)], "zone": 1 + a % 16,
             "id": [loop, a >> 8, a & 0xFF, 7], "status": 1, "flags": a % 4}
            for a in range(1, count + 1)]


def flip_data_bit(frame: bytes) -> bytes:
    """The frame with one bit of its last data byte flipped and the checksum
    left as it was, choosing a bit whose change leaves the checksum's high
    byte as the new sum's: only a check of both checksum bytes sees it."""
    stored_high = frame[-3]
    for bit in range(8):
        spoilt = bytearray(frame)
        spoilt[-4] ^= 1 << bit
        if p.checksum(bytes(spoilt[1:-3])) >> 8 == stored_high:
            return bytes(spoilt)
    return frame


class Panel:
    def __init__(self, config: dict):
        self.config = config
        self.loops = []
        for i, loop in enumerate((config.get("loops") or [])[:2]):
            loop = dict(loop)
            if "generate" in loop:
                loop["devices"] = generated_devices(int(loop["generate"]), i)
            self.loops.append(loop)
        while len(self.loops) < 2:
            self.loops.append({"devices": []})
        self.faults = config.get("faults", {})
        self.dropped = set()

    # -- request selection for faults -------------------------------------
    @staticmethod
    def name_of(code: int, payload: bytes) -> str:
        a = payload[0] if len(payload) > 0 else 0
        b = payload[1] if len(payload) > 1 else 0
        if code == p.CODE_PANEL:
            return "panel"
        if code == p.CODE_LOOP:
            return f"loop:{a}"
        if code == p.CODE_DEVICE:
            return f"device:{a}:{b}"
        return f"code:{code:02X}"

    def fault(self, kind: str, name: str) -> bool:
        """True when the fault list `kind` selects this request. Selectors:
        "all", "panel", "loop", "loop:1", "device", "device:0", "device:0:5"."""
        for sel in self.faults.get(kind, []):
            if sel == "all" or name == sel or name.startswith(sel + ":"):
                return True
        return False

    # -- replies ------------------------------------------------------------
    def panel_info(self) -> bytes:
        info = self.config.get("panel", {})
        if "raw" in info:
            return _raw(info["raw"])
        mods = list(info.get("modules", [0, 0, 0]))[:3] + [0, 0, 0]
        loops = info.get("loops", len(self.config.get("loops") or []))
        return bytes([0, _byte(info.get("can", 0)), *(_byte(m) for m in mods[:3]), _byte(loops),
                      _byte(info.get("power", 1)), _byte(info.get("zones", 8)),
                      _byte(info.get("language", 0)), _byte(info.get("mode", 0))])

    def loop_info(self, index: int) -> bytes:
        loop = self.loops[index] if index < len(self.loops) else {"devices": []}
        count = loop.get("count", len(loop.get("devices", [])))
        ma = int(loop.get("current_ma", 0)) & 0xFFFF
        return bytes([index, _byte(count), ma >> 8, ma & 0xFF,
                      1 if loop.get("on", True) else 0, 1 if loop.get("manual_addressing") else 0])

    def device_info(self, loop: int, address: int):
        if loop >= len(self.loops):
            return None
        for dev in self.loops[loop].get("devices", []):
            data = device_bytes(dev)
            if data and data[0] == address:
                return data
        return None

    def reply(self, code: int, payload: bytes):
        """The reply frame for a request, or None for silence."""
        name = self.name_of(code, payload)
        if self.fault("silent", name):
            return None
        if self.fault("drop_once", name) and name not in self.dropped:
            self.dropped.add(name)
            return None
        data = None
        if not self.fault("refuse", name):
            a = payload[0] if len(payload) > 0 else 0
            b = payload[1] if len(payload) > 1 else 0
            if code == p.CODE_PANEL:
                data = self.panel_info()
            elif code == p.CODE_LOOP:
                data = self.loop_info(a)
            elif code == p.CODE_DEVICE:
                data = self.device_info(a, b)
        if data is None:
            frame = p.build_reply(code, 1, b"")
        else:
            if self.fault("short", name):
                data = data[: len(data) // 2]
            frame = p.build_reply(code, 0, data)
        if self.fault("bad_checksum", name):
            frame = bytearray(frame)
            frame[-3] ^= 0x5A
            frame = bytes(frame)
        if self.fault("flip_bit", name):
            frame = flip_data_bit(frame)
        return frame
