#!/usr/bin/env python3
"""Checks that a signed launcher is an unsigned build plus one Authenticode signature, and
nothing else, and prints the verdict in one line.

The signature itself is osslsigncode's to check. Authenticode leaves three things out of the
signed digest: the PE checksum, the certificate-table entry of the data directory and the
certificate table. Set aside the table and the entry, and every other byte must be the
build's; the table must be one PKCS#7 signature, padded with zeros to 8 bytes, at the end of
the file; and the checksum must be right for the signed file, which is what a signing tool
writes. The checksum is what turns a changed byte inside the signature that its check does not
look at (a version number, a copy of a certificate) into a failure.

usage: signed_image.py SIGNED UNSIGNED
"""

import struct
import sys

SECURITY_DIRECTORY = 4
WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002


def checksum_offset(image):
    return struct.unpack_from('<I', image, 0x3c)[0] + 24 + 64


def security_entry_offset(image):
    optional = struct.unpack_from('<I', image, 0x3c)[0] + 24
    return optional + 96 + 8 * SECURITY_DIRECTORY


def pe_checksum(image):
    """The checksum of the PE format: a 16-bit one's-complement sum of the file without its
    checksum field, plus the file's length."""
    skip = checksum_offset(image)
    padded = image + b'\0' * (len(image) % 2)
    words = struct.unpack(f'<{len(padded) // 2}H', padded)
    total = sum(words) - words[skip // 2] - words[skip // 2 + 1]
    while total >> 16:
        total = (total & 0xffff) + (total >> 16)
    return total + len(image)


def der_length(blob):
    """The length of the DER element at the start of blob, header included, or None."""
    if len(blob) < 2 or blob[0] != 0x30:
        return None
    if blob[1] < 0x80:
        return 2 + blob[1]
    count = blob[1] & 0x7f
    if count == 0 or count > 4 or len(blob) < 2 + count:
        return None
    return 2 + count + int.from_bytes(blob[2:2 + count], 'big')


def compare(signed, unsigned):
    """(True, verdict) when signed is unsigned plus one signature, else (False, reason)."""
    try:
        return compare_headers_and_bytes(signed, unsigned)
    except struct.error:
        return False, 'not a well-formed Windows executable'


def compare_headers_and_bytes(signed, unsigned):
    if signed[:2] != b'MZ':
        return False, 'not a Windows executable'
    entry = security_entry_offset(signed)
    table, size = struct.unpack_from('<II', signed, entry)
    if size == 0:
        if signed == unsigned:
            return True, 'the same bytes, unsigned'
        return False, 'other bytes, and unsigned'
    if table + size != len(signed):
        return False, 'something follows the signature, or the signature is cut short'
    image_end = len(unsigned) + (-len(unsigned) % 8)
    if table != image_end:
        return False, f'the signature begins at byte {table}, the build ends at {len(unsigned)}'
    length, revision, kind = struct.unpack_from('<IHH', signed, table)
    blob = signed[table + 8:table + length]
    used = der_length(blob)
    if (revision, kind) != (WIN_CERT_REVISION_2_0, WIN_CERT_TYPE_PKCS_SIGNED_DATA) or \
            length + (-length % 8) != size or used is None or used > len(blob):
        return False, 'the certificate table is not one PKCS#7 signature'
    if any(signed[table + 8 + used:]):
        return False, 'bytes other than zeros follow the signature'

    # The two fields that signing rewrites are put back as the build has them.
    stripped = bytearray(signed[:len(unsigned)])
    for field, width in ((entry, 8), (checksum_offset(signed), 4)):
        stripped[field:field + width] = unsigned[field:field + width]
    if any(signed[len(unsigned):table]) or bytes(stripped) != unsigned:
        first = next((i for i, (a, b) in enumerate(zip(stripped, unsigned)) if a != b),
                     min(len(stripped), len(unsigned)))
        return False, f'without its signature, it differs from byte {first}'
    if struct.unpack_from('<I', signed, checksum_offset(signed))[0] != pe_checksum(signed):
        return False, 'the PE checksum is wrong: the file was changed after signing'
    return True, 'without its signature, the same bytes'


def main(arguments):
    if len(arguments) != 2:
        sys.exit(__doc__.rsplit('usage: ', 1)[1].strip())
    with open(arguments[0], 'rb') as signed, open(arguments[1], 'rb') as unsigned:
        ok, verdict = compare(signed.read(), unsigned.read())
    print(verdict)
    return 0 if ok else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
