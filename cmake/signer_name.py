#!/usr/bin/env python3
"""Prints the publisher of a Windows program file: the display name of the
signer of its Authenticode signature, as tarn-kit.exe compares it.

    signer_name.py FILE

Prints the name in UTF-8 and exits 0; exits 1 with the reason on standard
error when FILE is no program, carries no signature, or its content is not
the one signed (a changed byte). Whether the signer is trusted is the
exe's to decide, on the machine it runs on.

The exe takes the name with CertGetNameStringW(CERT_NAME_SIMPLE_DISPLAY_TYPE)
from the certificate that signed the file: the first common name of its
subject, else the first organisational unit, organisation, then e-mail
address. The same rule is followed here, from the bytes, with no tool but
Python: configuring then needs nothing more than building does.
"""
import hashlib
import struct
import sys

CERT_TYPE_PKCS_SIGNED_DATA = 0x0002
# The subject's attributes in the order the display name is taken from.
DISPLAY_NAME_ORDER = (
    bytes([0x55, 0x04, 0x03]),  # 2.5.4.3 commonName
    bytes([0x55, 0x04, 0x0B]),  # 2.5.4.11 organizationalUnitName
    bytes([0x55, 0x04, 0x0A]),  # 2.5.4.10 organizationName
    bytes([0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01]),  # 1.2.840.113549.1.9.1 emailAddress
)
DIGESTS = {
    bytes.fromhex("2b0e03021a"): "sha1",
    bytes.fromhex("608648016503040201"): "sha256",
    bytes.fromhex("608648016503040202"): "sha384",
    bytes.fromhex("608648016503040203"): "sha512",
}


class NotSigned(Exception):
    pass


def read(data, at):
    """The DER element at offset at: (tag, contents, offset after it)."""
    if at + 2 > len(data):
        raise NotSigned("the signature is cut short")
    tag, length = data[at], data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        if count == 0 or count > 4 or at + count > len(data):
            raise NotSigned("the signature is malformed")
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    if at + length > len(data):
        raise NotSigned("the signature is cut short")
    return tag, data[at:at + length], at + length


def elements(contents):
    """The elements inside a constructed element's contents, each as (tag, contents, encoding)."""
    found, at = [], 0
    while at < len(contents):
        tag, inner, end = read(contents, at)
        found.append((tag, inner, contents[at:end]))
        at = end
    return found


def text(tag, value):
    if tag == 0x1E:  # BMPString
        return value.decode("utf-16-be")
    if tag == 0x1C:  # UniversalString
        return value.decode("utf-32-be")
    if tag == 0x14:  # T61String: Windows reads it as UTF-8 first
        try:
            return value.decode("utf-8")
        except UnicodeDecodeError:
            return value.decode("latin-1")
    return value.decode("utf-8")  # UTF8String, and the ASCII kinds


def display_name(name):
    attributes = [attribute for _, rdn, _ in elements(name) for _, attribute, _ in elements(rdn)]
    for wanted in DISPLAY_NAME_ORDER:
        for attribute in attributes:
            (_, oid, _), (tag, value, _) = elements(attribute)[:2]
            if oid == wanted:
                return text(tag, value)
    raise NotSigned("its signer's certificate names no common name, unit, organisation or e-mail address")


def signature_and_image_digest(data):
    """The PKCS #7 signature and the digest of the image it covers, computed
    as Authenticode does: all the file before the signature but the checksum
    and the signature's directory entry."""
    if data[:2] != b"MZ" or len(data) < 64:
        raise NotSigned("it is not a Windows program")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise NotSigned("it is not a Windows program")
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, -optional - 1)
    if directories < optional:
        raise NotSigned("it is not a Windows program")
    security_entry = directories + 4 * 8
    table, size = struct.unpack_from("<II", data, security_entry)
    if size == 0 or table == 0:
        raise NotSigned("it carries no signature")
    if table + size > len(data) or size < 8:
        raise NotSigned("its signature lies outside the file")
    length, _, kind = struct.unpack_from("<IHH", data, table)
    if kind != CERT_TYPE_PKCS_SIGNED_DATA or length < 8 or length > size:
        raise NotSigned("it carries no Authenticode signature")
    checksum = optional + 64
    covered = data[:checksum] + data[checksum + 4:security_entry] + data[security_entry + 8:table]
    return data[table + 8:table + length], covered


def signer_name(data):
    signature, covered = signature_and_image_digest(data)
    _, content_info, _ = read(signature, 0)
    _, signed_data_wrapper, _ = elements(content_info)[1]
    _, signed_data, _ = read(signed_data_wrapper, 0)
    parts = elements(signed_data)
    # The signed content: SpcIndirectDataContent, whose digest is the image's.
    _, content, _ = parts[2]
    _, indirect_wrapper, _ = elements(content)[1]
    _, indirect, _ = read(indirect_wrapper, 0)
    _, digest_info, _ = elements(indirect)[1]
    (_, algorithm, _), (_, digest, _) = elements(digest_info)[:2]
    digest_name = DIGESTS.get(elements(algorithm)[0][1])
    if digest_name is None:
        raise NotSigned("its signature uses a digest this check does not know")
    if hashlib.new(digest_name, covered).digest() != digest:
        raise NotSigned("its content is not the content that was signed")

    certificates = next((inner for tag, inner, _ in parts if tag == 0xA0), b"")
    signer_infos = parts[-1][1]
    signer = elements(elements(signer_infos)[0][1])
    tag, sid, _ = signer[1]
    for _, certificate, _ in elements(certificates):
        tbs = elements(elements(certificate)[0][1])
        if tbs[0][0] == 0xA0:  # the version, when not 1
            tbs = tbs[1:]
        serial, issuer, subject = tbs[0][2], tbs[2][2], tbs[4][1]
        if tag == 0x30 and sid == issuer + serial:
            return display_name(subject)
        if tag == 0x80:  # by subject key identifier
            for extension in [e for t, e, _ in tbs[5:] if t == 0xA3]:
                for _, field, _ in elements(elements(extension)[0][1]):
                    found = elements(field)
                    if found[0][1] == bytes([0x55, 0x1D, 0x0E]) and read(found[-1][1], 0)[1] == sid:
                        return display_name(subject)
    raise NotSigned("its signature does not carry its signer's certificate")


def main():
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        return 2
    try:
        with open(sys.argv[1], "rb") as f:
            data = f.read()
        name = signer_name(data)
    except OSError as error:
        sys.stderr.write(f"{sys.argv[1]}: {error.strerror}\n")
        return 1
    except (NotSigned, ValueError, IndexError, struct.error) as error:
        reason = error if isinstance(error, NotSigned) else "its signature is malformed"
        sys.stderr.write(f"{sys.argv[1]}: {reason}\n")
        return 1
    sys.stdout.buffer.write(name.encode("utf-8"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
