#!/usr/bin/env python3
"""Makes the throwaway certificates that the tests trust or must refuse.

    make_certs.py OUTDIR

Writes, with openssl, into OUTDIR (each certificate NAME.pem beside its key
NAME.key, PEM, unencrypted):

  ca                     the test authority, trusted only inside a test Wine
                         prefix (scripts/trust-test-ca.sh); also ca.der
  localhost              server certificate for "localhost", by ca
  localhost-expired      the same, expired since 2021
  wrong-host             server certificate for "wrong-host.invalid", by ca
  publisher              code signing, "tarn-kit Test Publisher", by ca
  other-publisher        code signing, "tarn-kit Other Publisher", by ca
  self-signed-publisher  code signing, "tarn-kit Test Publisher", self-signed
  untrusted-ca           a second authority that nothing trusts
  localhost-untrusted    server certificate for "localhost", by untrusted-ca
  untrusted-publisher    code signing, "tarn-kit Test Publisher", by
                         untrusted-ca; also untrusted-publisher-chain.pem,
                         the certificate followed by its authority's
  wrong-usage-publisher  "tarn-kit Test Publisher", by ca, for servers only
  expired-publisher      code signing, "tarn-kit Test Publisher", by ca,
                         valid in 2020 only
  time-stamps            time stamping, "tarn-kit Test Time Stamps", by ca
  self-made-time-stamps  the same name, self-signed
  expired-time-stamps    the same name, by ca, valid in 2020 only
  revoked-publisher      code signing, "tarn-kit Test Publisher", by ca,
                         revoked in ca.crl (DER), whose distribution point it
                         names: http://127.0.0.1:PORT/ca-TOKEN.crl, PORT (in
                         the file crl-port) fixed by OUTDIR's path, so that
                         with_server.py can serve it where the certificate
                         says; TOKEN new with each set, so that no list
                         cached for an earlier set is taken for this one

Keys are RSA 2048 (about two seconds for all): Wine 8's WinVerifyTrust
refuses a P-256 signature with TRUST_E_CERT_SIGNATURE. Validity dates are fixed
(the authority's run to 2049), so only keys, serial numbers and signatures
change from one run to the next. Does nothing when every file is there and
was made by this version of the script (made-by.sha256); otherwise makes all
of them anew, since a new authority invalidates the rest.
"""
import hashlib
import os
import secrets
import shutil
import subprocess
import sys
import tempfile

PUBLISHER = "tarn-kit Test Publisher"

# Fixed validity: from 2020 into 2049, the last year UTCTime can carry.
START = "20200101000000Z"
END = "20491231000000Z"
EXPIRED_END = "20210101000000Z"

CA_EXTENSIONS = """basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
"""
SERVER_EXTENSIONS = """basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:{host}
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""
CODE_SIGNING_EXTENSIONS = """basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""
TIME_STAMPING_EXTENSIONS = """basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
subjectKeyIdentifier = hash
"""
REVOCATION_POINT = "crlDistributionPoints = URI:http://127.0.0.1:{port}/ca-{token}.crl\n"
# Self-signed: no authority key identifier, which would name itself.
SELF_SIGNED_CODE_SIGNING_EXTENSIONS = """basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
"""

# name, subject common name, issuer (None: self-signed), extensions, end
CERTIFICATES = [
    ("ca", "tarn-kit Test Authority", None, CA_EXTENSIONS, END),
    ("untrusted-ca", "tarn-kit Untrusted Authority", None, CA_EXTENSIONS, END),
    ("localhost", "localhost", "ca", SERVER_EXTENSIONS.format(host="localhost"), END),
    ("localhost-expired", "localhost", "ca", SERVER_EXTENSIONS.format(host="localhost"), EXPIRED_END),
    ("wrong-host", "wrong-host.invalid", "ca", SERVER_EXTENSIONS.format(host="wrong-host.invalid"), END),
    ("publisher", PUBLISHER, "ca", CODE_SIGNING_EXTENSIONS, END),
    ("other-publisher", "tarn-kit Other Publisher", "ca", CODE_SIGNING_EXTENSIONS, END),
    ("self-signed-publisher", PUBLISHER, None, SELF_SIGNED_CODE_SIGNING_EXTENSIONS, END),
    ("localhost-untrusted", "localhost", "untrusted-ca", SERVER_EXTENSIONS.format(host="localhost"), END),
    ("untrusted-publisher", PUBLISHER, "untrusted-ca", CODE_SIGNING_EXTENSIONS, END),
    ("wrong-usage-publisher", PUBLISHER, "ca", SERVER_EXTENSIONS.format(host="localhost"), END),
    ("expired-publisher", PUBLISHER, "ca", CODE_SIGNING_EXTENSIONS, EXPIRED_END),
    ("time-stamps", "tarn-kit Test Time Stamps", "ca", TIME_STAMPING_EXTENSIONS + "authorityKeyIdentifier = keyid\n",
     END),
    ("self-made-time-stamps", "tarn-kit Test Time Stamps", None, TIME_STAMPING_EXTENSIONS, END),
    ("expired-time-stamps", "tarn-kit Test Time Stamps", "ca", TIME_STAMPING_EXTENSIONS + "authorityKeyIdentifier = keyid\n",
     EXPIRED_END),
    ("revoked-publisher", PUBLISHER, "ca", CODE_SIGNING_EXTENSIONS + REVOCATION_POINT, END),
]
REVOKED = "revoked-publisher"

# `openssl ca` rather than `openssl x509 -req`: OpenSSL 3.0's x509 cannot set
# a start date, and the expired certificates need one in the past.
CA_CONFIG = """[ca]
default_ca = issuer
[issuer]
database = {database}
serial = {database}.serial
new_certs_dir = {folder}
default_md = sha256
policy = any_subject
unique_subject = no
copy_extensions = none
[any_subject]
commonName = supplied
"""


def expected_files():
    names = [n for cert in CERTIFICATES for n in (cert[0] + ".pem", cert[0] + ".key")]
    return names + ["ca.der", "untrusted-publisher-chain.pem", "ca.crl", "crl-port"]


def crl_port(folder):
    """A loopback port for the revocation list, the same for one folder each
    time (the certificate names it) and unlike another build folder's."""
    digest = hashlib.sha256(os.path.abspath(folder).encode()).digest()
    return 20000 + int.from_bytes(digest[:4], "big") % 20000


def script_digest():
    with open(os.path.abspath(__file__), "rb") as script:
        return hashlib.sha256(script.read()).hexdigest()


def up_to_date(folder):
    try:
        with open(os.path.join(folder, "made-by.sha256")) as made_by:
            if made_by.read().strip() != script_digest():
                return False
    except OSError:
        return False
    return all(os.path.isfile(os.path.join(folder, name)) for name in expected_files())


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def issue(work, name, common_name, issuer, extensions, end):
    key = os.path.join(work, name + ".key")
    request = os.path.join(work, name + ".csr")
    openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", key)
    openssl("req", "-new", "-key", key, "-subj", "/CN=" + common_name, "-out", request)
    config = os.path.join(work, name + ".cnf")
    database = os.path.join(work, name + ".index")
    open(database, "w").close()
    with open(config, "w") as f:
        f.write(CA_CONFIG.format(database=database, folder=work))
    extension_file = os.path.join(work, name + ".ext")
    with open(extension_file, "w") as f:
        f.write(extensions)
    signer = ["-selfsign", "-keyfile", key] if issuer is None else [
        "-cert", os.path.join(work, issuer + ".pem"), "-keyfile", os.path.join(work, issuer + ".key")]
    openssl("ca", "-batch", "-notext", "-config", config, "-in", request, "-out", os.path.join(work, name + ".pem"),
            "-rand_serial", "-startdate", START, "-enddate", end, "-extfile", extension_file, *signer)


def revoke(work, name):
    """Revokes name (issued by ca) and writes the authority's list, ca.crl."""
    config = os.path.join(work, name + ".cnf")
    signer = ["-cert", os.path.join(work, "ca.pem"), "-keyfile", os.path.join(work, "ca.key")]
    openssl("ca", "-batch", "-config", config, "-revoke", os.path.join(work, name + ".pem"), *signer)
    listing = os.path.join(work, "ca.crl.pem")
    openssl("ca", "-batch", "-config", config, "-gencrl", "-crldays", "9000", "-out", listing, *signer)
    openssl("crl", "-in", listing, "-outform", "DER", "-out", os.path.join(work, "ca.crl"))


def make_all(folder):
    os.makedirs(folder, exist_ok=True)
    # Made aside and moved in, so an interrupted run leaves no half set that
    # a later run would take as complete.
    work = tempfile.mkdtemp(prefix=".certs-", dir=folder)
    try:
        port = crl_port(folder)
        for name, common_name, issuer, extensions, end in CERTIFICATES:
            issue(work, name, common_name, issuer, extensions.format(port=port, token=secrets.token_hex(4)), end)
        revoke(work, REVOKED)
        with open(os.path.join(work, "crl-port"), "w") as f:
            f.write(f"{port}\n")
        openssl("x509", "-in", os.path.join(work, "ca.pem"), "-outform", "DER", "-out", os.path.join(work, "ca.der"))
        with open(os.path.join(work, "untrusted-publisher-chain.pem"), "w") as chain:
            for name in ("untrusted-publisher.pem", "untrusted-ca.pem"):
                with open(os.path.join(work, name)) as part:
                    chain.write(part.read())
        made_by = os.path.join(folder, "made-by.sha256")
        if os.path.exists(made_by):
            os.remove(made_by)
        for name in expected_files():
            os.replace(os.path.join(work, name), os.path.join(folder, name))
        # Last: it declares the set complete.
        with open(made_by, "w") as stamp:
            stamp.write(script_digest() + "\n")
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_certs.py OUTDIR")
    folder = sys.argv[1]
    if up_to_date(folder):
        return
    try:
        make_all(folder)
    except subprocess.CalledProcessError as error:
        sys.exit("make_certs.py: {} failed: {}".format(" ".join(error.cmd[:2]), error.stderr.decode(errors="replace")))


if __name__ == "__main__":
    main()
