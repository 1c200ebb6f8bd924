#!/usr/bin/env python3
"""Adds a legacy (PKCS #9) Authenticode counter-signature to a signed program,
or changes the time of its RFC 3161 time stamp.

    countersign.py IN.exe OUT.exe STAMPER.pem STAMPER.key SIGNED_AT [CLAIMED_AT]
    countersign.py --retime IN.exe OUT.exe FROM_AT TO_AT
    countersign.py --transplant STAMPED.exe IN.exe OUT.exe

Signs, with openssl and STAMPER's key, a counter-signature over the
signature of IN.exe (osslsigncode's), stating the signing time SIGNED_AT
(seconds since 1970), and writes the program with it, and STAMPER's
certificate, as OUT.exe. With CLAIMED_AT the counter-signature is signed for
SIGNED_AT but states CLAIMED_AT: a forgery whose signature does not hold.
osslsigncode makes RFC 3161 time stamps itself (-TSA-certs) but the legacy
kind only from a server, hence this. --retime rewrites the time stamp's
genTime (a GeneralizedTime, which no other part of the signature holds) from
FROM_AT to TO_AT: the stamp's signature then no longer matches what it says.
--transplant gives IN.exe the time stamps of STAMPED.exe's signature.
"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import time

SIGNED_DATA = "1.2.840.113549.1.7.2"
DATA = "1.2.840.113549.1.7.1"
CONTENT_TYPE = "1.2.840.113549.1.9.3"
MESSAGE_DIGEST = "1.2.840.113549.1.9.4"
SIGNING_TIME = "1.2.840.113549.1.9.5"
COUNTER_SIGNATURE = "1.2.840.113549.1.9.6"
SHA256 = "2.16.840.1.101.3.4.2.1"
RSA = "1.2.840.113549.1.1.1"


def element(tag, contents):
    n = len(contents)
    if n < 0x80:
        length = bytes([n])
    else:
        octets = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(octets)]) + octets
    return bytes([tag]) + length + contents


def oid(dotted):
    parts = [int(p) for p in dotted.split(".")]
    body = bytes([40 * parts[0] + parts[1]])
    for part in parts[2:]:
        chunk = [part & 0x7F]
        while part > 0x7F:
            part >>= 7
            chunk.insert(0, 0x80 | (part & 0x7F))
        body += bytes(chunk)
    return element(0x06, body)


def items(contents):
    """The (tag, contents, whole encoding) of each element in contents."""
    out, i = [], 0
    while i < len(contents):
        tag, n, header = contents[i], contents[i + 1], 2
        if n & 0x80:
            k = n & 0x7F
            n, header = int.from_bytes(contents[i + 2:i + 2 + k], "big"), 2 + k
        out.append((tag, contents[i + header:i + header + n], contents[i:i + header + n]))
        i += header + n
    return out


def sequence(*parts):
    return element(0x30, b"".join(parts))


def utc_time(seconds):
    return element(0x17, time.strftime("%y%m%d%H%M%SZ", time.gmtime(seconds)).encode())


def attribute(kind, value):
    return sequence(oid(kind), element(0x31, value))


def counter_signer(certificate, key, signature, signed_at, claimed_at):
    tbs = items(items(items(certificate)[0][1])[0][1])
    serial, issuer = tbs[1][2], tbs[3][2]  # after the [0] version
    def attributes(seconds):  # a DER SET OF: sorted by encoding
        return sorted([attribute(CONTENT_TYPE, oid(DATA)), attribute(SIGNING_TIME, utc_time(seconds)),
                       attribute(MESSAGE_DIGEST, element(0x04, hashlib.sha256(signature).digest()))])
    with tempfile.TemporaryDirectory() as work:
        signed = os.path.join(work, "attributes.der")
        with open(signed, "wb") as f:
            f.write(element(0x31, b"".join(attributes(signed_at))))
        value = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key, signed], check=True,
                               stdout=subprocess.PIPE).stdout
    null = element(0x05, b"")
    return sequence(element(0x02, b"\x01"), sequence(issuer, serial), sequence(oid(SHA256), null),
                    element(0xA0, b"".join(attributes(claimed_at))), sequence(oid(RSA), null), element(0x04, value))


def retime(source, target, from_at, to_at):
    def generalized(seconds):
        return time.strftime("%Y%m%d%H%M%SZ", time.gmtime(seconds)).encode()
    with open(source, "rb") as f:
        image = f.read()
    if image.count(generalized(from_at)) != 1:
        sys.exit(f"countersign.py: no single time stamp of {from_at} in {source}")
    with open(target, "wb") as f:
        f.write(image.replace(generalized(from_at), generalized(to_at)))


def signature_of(program):
    """The ContentInfo's parts, the SignedData's parts (whole encodings) and
    the first SignerInfo's items of program's signature."""
    with tempfile.TemporaryDirectory() as work:
        pkcs7 = os.path.join(work, "a.der")
        subprocess.run(["osslsigncode", "extract-signature", "-in", program, "-out", pkcs7], check=True,
                       stdout=subprocess.DEVNULL)
        with open(pkcs7, "rb") as f:
            content_info = items(items(f.read())[0][1])
    signed_data = items(items(content_info[1][1])[0][1])
    return content_info, signed_data, items(items(signed_data[-1][1])[0][1])


def write_signature(source, target, content_info, data_parts, signer_parts):
    parts = data_parts[:-1] + [element(0x31, sequence(*signer_parts))]
    replace_signature(source, target, sequence(content_info[0][2], element(0xA0, sequence(*parts))))


def countersign(source, target, stamper_pem, stamper_key, signed_at, claimed_at):
    content_info, signed_data, signer = signature_of(source)
    certificate = subprocess.run(["openssl", "x509", "-in", stamper_pem, "-outform", "DER"], check=True,
                                 stdout=subprocess.PIPE).stdout
    parts = [whole for _, _, whole in signed_data]
    for index, (tag, contents, _) in enumerate(signed_data):
        if tag == 0xA0:  # the certificates: the stamper's joins them
            parts[index] = element(0xA0, contents + certificate)
    counter = attribute(COUNTER_SIGNATURE, counter_signer(certificate, stamper_key, signer[5][1], signed_at,
                                                          claimed_at))
    write_signature(source, target, content_info, parts, [whole for _, _, whole in signer[:6]] + [element(0xA1, counter)])


def transplant(stamped, source, target):
    """Writes source with the time stamps of stamped's signature, which
    stamp another signature than source's."""
    stamps = [whole for tag, _, whole in signature_of(stamped)[2] if tag == 0xA1]
    content_info, signed_data, signer = signature_of(source)
    write_signature(source, target, content_info, [whole for _, _, whole in signed_data],
                    [whole for _, _, whole in signer[:6]] + stamps)


def main():
    if len(sys.argv) == 6 and sys.argv[1] == "--retime":
        retime(sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5]))
    elif len(sys.argv) == 5 and sys.argv[1] == "--transplant":
        transplant(*sys.argv[2:5])
    elif len(sys.argv) in (6, 7):
        signed_at = int(sys.argv[5])
        countersign(*sys.argv[1:5], signed_at, int(sys.argv[6]) if len(sys.argv) == 7 else signed_at)
    else:
        sys.exit(__doc__)


def replace_signature(source, target, pkcs7):
    """Writes source with pkcs7 in place of its signature: the certificate
    table and its directory entry are outside what Authenticode hashes."""
    with open(source, "rb") as f:
        image = bytearray(f.read())
    header = struct.unpack_from("<I", image, 0x3C)[0] + 24
    directories = header + (96 if struct.unpack_from("<H", image, header)[0] == 0x10B else 112)
    offset, _ = struct.unpack_from("<II", image, directories + 4 * 8)
    entry = struct.pack("<IHH", 8 + len(pkcs7), 0x0200, 0x0002) + pkcs7
    entry += bytes(-len(entry) % 8)
    struct.pack_into("<II", image, directories + 4 * 8, offset, len(entry))
    with open(target, "wb") as f:
        f.write(bytes(image[:offset]) + entry)

if __name__ == "__main__":
    main()
