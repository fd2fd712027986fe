"""LZNT1, the compression Windows decompresses with RtlDecompressBuffer
(COMPRESSION_FORMAT_LZNT1): chunks of up to 4096 bytes, each a 2-byte header
(size - 1, a signature of 3, and whether it is compressed) and then groups
of a flag byte and eight items, a literal byte or a 2-byte copy whose split
between distance and length bits widens as the chunk fills."""


def _split(pos):
    """Extra distance bits at `pos` bytes into the chunk (distance 4 + lg bits, length 12 - lg)."""
    lg = 0
    i = pos - 1
    while i >= 0x10:
        i >>= 1
        lg += 1
    return lg  # offset bits = 4 + lg, length bits = 12 - lg

def compress_chunk(data):
    """Greedy: the longest match at each step; the data is a few kilobytes."""
    out = bytearray()
    pos = 0
    n = len(data)
    while pos < n:
        flags = 0
        group = bytearray()
        for bit in range(8):
            if pos >= n:
                break
            lg = _split(pos) if pos > 0 else 0
            max_off = 1 << (4 + lg)
            max_len = (0xFFF >> lg) + 3
            best_len, best_off = 0, 0
            start = max(0, pos - max_off)
            for cand in range(pos - 1, start - 1, -1):
                l = 0
                while l < max_len and pos + l < n and data[cand + l] == data[pos + l]:
                    l += 1
                if l > best_len:
                    best_len, best_off = l, pos - cand
                    if l == max_len:
                        break
            if best_len >= 3:
                token = ((best_off - 1) << (12 - lg)) | (best_len - 3)
                group += token.to_bytes(2, "little")
                flags |= 1 << bit
                pos += best_len
            else:
                group.append(data[pos])
                pos += 1
        out.append(flags)
        out += group
    return bytes(out)

def compress(data):
    out = bytearray()
    for i in range(0, len(data), 4096):
        chunk = data[i:i + 4096]
        c = compress_chunk(chunk)
        if len(c) < len(chunk):
            out += (0xB000 | (len(c) - 1)).to_bytes(2, "little") + c
        else:
            out += (0x3000 | (len(chunk) - 1)).to_bytes(2, "little") + chunk
    return bytes(out)

def decompress(data):
    out = bytearray()
    i = 0
    while i + 2 <= len(data):
        h = int.from_bytes(data[i:i+2], "little"); i += 2
        if h == 0: break
        size = (h & 0xFFF) + 1
        chunk = data[i:i+size]; i += size
        if not (h & 0x8000):
            out += chunk; continue
        start = len(out); j = 0
        while j < len(chunk):
            flags = chunk[j]; j += 1
            for bit in range(8):
                if j >= len(chunk): break
                if flags >> bit & 1:
                    token = int.from_bytes(chunk[j:j+2], "little"); j += 2
                    lg = _split(len(out) - start)
                    off = (token >> (12 - lg)) + 1; l = (token & (0xFFF >> lg)) + 3
                    for _ in range(l): out.append(out[-off])
                else:
                    out.append(chunk[j]); j += 1
    return bytes(out)
