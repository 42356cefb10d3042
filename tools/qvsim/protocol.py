"""The panel's frame format: start byte 0x02, CMD 0x03, ID 0x12 0x34, header,
data, a 16-bit additive checksum (modulo 65535, high byte first) and the end
byte 0x04; on the line every byte between start and end travels as two
uppercase hexadecimal characters. Written independently of the C++ code so
the two cross-check each other."""

START, END, CMD, ID1, ID2 = 0x02, 0x04, 0x03, 0x12, 0x34
CODE_PANEL, CODE_LOOP, CODE_DEVICE = 0x48, 0x43, 0x41
REPLY_MARKER = 0x5D


def checksum(body: bytes) -> int:
    """Sum of the bytes with 16-bit wrap-around, then modulo 65535."""
    total = 0
    for b in body:
        total = (total + b) & 0xFFFF
    return total % 65535


def build_frame(header4: bytes, data: bytes) -> bytes:
    """Frame from the bytes after CMD/ID (marker, code, 0, length) and data."""
    body = bytes([CMD, ID1, ID2]) + header4 + data
    s = checksum(body)
    return bytes([START]) + body + bytes([s >> 8, s & 0xFF, END])


def build_reply(code: int, result: int, data: bytes) -> bytes:
    """Reply frame: result byte at position 8, then the data."""
    payload = bytes([result]) + data
    return build_frame(bytes([REPLY_MARKER, code, 0, len(payload) & 0xFF]), payload)


def build_request(code: int, payload: bytes) -> bytes:
    return build_frame(bytes([0x5B, code, 0, len(payload) & 0xFF]), payload)


def encode_line(frame: bytes) -> bytes:
    return frame[:1] + frame[1:-1].hex().upper().encode("ascii") + frame[-1:]


def decode_line(line: bytes):
    """Frame from its line form, or None when the inner text is not hex."""
    inner = line[1:-1]
    if len(inner) % 2:
        return None
    try:
        return line[:1] + bytes.fromhex(inner.decode("ascii")) + line[-1:]
    except ValueError:
        return None


def parse_request(frame: bytes):
    """(code, payload) of a well-formed request frame, else None."""
    if len(frame) < 11 or frame[0] != START or frame[-1] != END:
        return None
    if frame[1] != CMD or frame[2] != ID1 or frame[3] != ID2:
        return None
    s = checksum(frame[1:-3])
    if frame[-3] != s >> 8 or frame[-2] != s & 0xFF:
        return None
    return frame[5], frame[8:-3]


class LineReader:
    """Collects received bytes and yields complete line frames (0x02 .. 0x04);
    bytes outside a frame are dropped."""

    def __init__(self):
        self.buf = bytearray()

    def feed(self, data: bytes):
        self.buf += data
        frames = []
        while True:
            start = self.buf.find(bytes([START]))
            if start < 0:
                self.buf.clear()
                break
            end = self.buf.find(bytes([END]), start + 1)
            if end < 0:
                del self.buf[:start]
                break
            frames.append(bytes(self.buf[start:end + 1]))
            del self.buf[:end + 1]
        return frames
