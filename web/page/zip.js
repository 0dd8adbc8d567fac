// A ZIP archive of whole files, each stored as it is (GROBs are small and
// gain little from compression): for each file its local header and bytes,
// then the central directory and its end record. Names are UTF-8 (flag bit
// 11); times are now, in local time, as the format keeps them.
const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});

function crc32(bytes) {
    let crc = 0xffffffff;
    for (const byte of bytes) crc = crcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
    return (crc ^ 0xffffffff) >>> 0;
}

// entries: [{ name, bytes (Uint8Array) }]; the archive as a Uint8Array.
export function zip(entries, when = new Date()) {
    const time = (when.getHours() << 11) | (when.getMinutes() << 5) | (when.getSeconds() >> 1);
    const date = ((when.getFullYear() - 1980) << 9) | ((when.getMonth() + 1) << 5) | when.getDate();
    const parts = [];
    const directory = [];
    let offset = 0;
    for (const { name, bytes } of entries) {
        const encoded = new TextEncoder().encode(name);
        const crc = crc32(bytes);
        // Version 2.0, UTF-8 names, stored; time, date, CRC, sizes, name length.
        const common = (view, at) => {
            view.setUint16(at, 20, true);
            view.setUint16(at + 2, 0x0800, true);
            view.setUint16(at + 4, 0, true);
            view.setUint16(at + 6, time, true);
            view.setUint16(at + 8, date, true);
            view.setUint32(at + 10, crc, true);
            view.setUint32(at + 14, bytes.length, true);
            view.setUint32(at + 18, bytes.length, true);
            view.setUint16(at + 22, encoded.length, true);
        };
        const local = new DataView(new ArrayBuffer(30 + encoded.length));
        local.setUint32(0, 0x04034b50, true);
        common(local, 4);
        new Uint8Array(local.buffer).set(encoded, 30);
        const central = new DataView(new ArrayBuffer(46 + encoded.length));
        central.setUint32(0, 0x02014b50, true);
        central.setUint16(4, 20, true); // made by version 2.0
        common(central, 6);
        central.setUint32(42, offset, true);
        new Uint8Array(central.buffer).set(encoded, 46);
        parts.push(new Uint8Array(local.buffer), bytes);
        directory.push(new Uint8Array(central.buffer));
        offset += local.byteLength + bytes.length;
    }
    const size = directory.reduce((sum, part) => sum + part.length, 0);
    const end = new DataView(new ArrayBuffer(22));
    end.setUint32(0, 0x06054b50, true);
    end.setUint16(8, entries.length, true);
    end.setUint16(10, entries.length, true);
    end.setUint32(12, size, true);
    end.setUint32(16, offset, true);
    const all = [...parts, ...directory, new Uint8Array(end.buffer)];
    const out = new Uint8Array(all.reduce((sum, part) => sum + part.length, 0));
    let at = 0;
    for (const part of all) {
        out.set(part, at);
        at += part.length;
    }
    return out;
}
