import struct, sys
# 32 x 16 RGBA, unassociated alpha: four vertical bands of red with alpha 255, 192, 64, 0.
W, H = 32, 16
alphas = [255, 192, 64, 0]
pix = bytearray()
for y in range(H):
    for x in range(W):
        a = alphas[x * 4 // W]
        pix += bytes([200, 40, 20, a])
entries = []
def e(tag, typ, count, value): entries.append((tag, typ, count, value))
data_off = 8
ifd_off = data_off + len(pix)
bps_off = ifd_off + 2 + 12 * 11 + 4
e(256, 3, 1, W); e(257, 3, 1, H); e(258, 3, 4, bps_off); e(259, 3, 1, 1); e(262, 3, 1, 2)
e(273, 4, 1, data_off); e(277, 3, 1, 4); e(278, 3, 1, H); e(279, 4, 1, len(pix)); e(284, 3, 1, 1); e(338, 3, 1, 2)
out = bytearray(b'II*\x00' + struct.pack('<I', ifd_off)) + pix
out += struct.pack('<H', len(entries))
for tag, typ, count, value in entries:
    if typ == 3 and count == 1: out += struct.pack('<HHIHH', tag, typ, count, value, 0)
    else: out += struct.pack('<HHII', tag, typ, count, value)
out += struct.pack('<I', 0)
out += struct.pack('<HHHH', 8, 8, 8, 8)
open(sys.argv[1], 'wb').write(out)
