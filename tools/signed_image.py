#!/usr/bin/python3
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

import pefile

WIN_CERT_REVISION_2_0 = 0x0200
WIN_CERT_TYPE_PKCS_SIGNED_DATA = 0x0002


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
    except (pefile.PEFormatError, struct.error, IndexError):
        return False, 'not a well-formed Windows executable'


def compare_headers_and_bytes(signed, unsigned):
    image = pefile.PE(data=signed, fast_load=True)
    entry = image.OPTIONAL_HEADER.DATA_DIRECTORY[
        pefile.DIRECTORY_ENTRY['IMAGE_DIRECTORY_ENTRY_SECURITY']]
    table, size = entry.VirtualAddress, entry.Size
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
    checksum = image.OPTIONAL_HEADER.get_field_absolute_offset('CheckSum')
    for field, width in ((entry.get_file_offset(), 8), (checksum, 4)):
        stripped[field:field + width] = unsigned[field:field + width]
    if any(signed[len(unsigned):table]) or bytes(stripped) != unsigned:
        first = next((i for i, (a, b) in enumerate(zip(stripped, unsigned)) if a != b),
                     min(len(stripped), len(unsigned)))
        return False, f'without its signature, it differs from byte {first}'
    if not image.verify_checksum():
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
