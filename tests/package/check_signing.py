#!/usr/bin/python3
"""Signs a release with throwaway keys and checks it as a user would.

Usage: check_signing.py

A self-signed code-signing certificate and a gpg key in a scratch GNUPGHOME
sign what scripts/package.sh writes into a scratch folder (build/packages
stays as it is); then osslsigncode verify, Wine, rpm -K and gpg --verify
judge it; without the signatures the programs and the RPM's header are
those of the unsigned build; and a time stamp that cannot be had must fail
the packaging.
Prints one line per check and a closing count; exits 1 when any failed.
"""
import glob
import os
import re
import shutil
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_packages import REPO, VERSION, VERSION_LINE, WINE, Failed, expect, run, run_checks  # noqa: E402

PACKAGE = os.path.join(REPO, "scripts", "package.sh")
WINDOWS_ZIP = "kelm-patcher-%s-windows-x64.zip" % VERSION
PROGRAMS = ("kelm-patcher.exe", "kelm-patch.exe")


def must(cmd, **kw):
    out = run(cmd, **kw)
    if out.returncode != 0:
        raise Failed("%s: %s%s" % (" ".join(cmd), out.stdout[-2000:], out.stderr[-2000:]))
    return out.stdout


def main():
    work = tempfile.mkdtemp(prefix="kelm-signing-")
    gnupghome, out = os.path.join(work, "gnupg"), os.path.join(work, "packages")
    k = {name: os.path.join(work, name) for name in ("key.pem", "cert.pem", "signer.p12", "password", "public.asc")}
    gpg_env = dict(os.environ, GNUPGHOME=gnupghome)
    signing_env = dict(os.environ, KELM_NO_SETUP="1", KELM_SIGN_PKCS12=k["signer.p12"],
                       KELM_SIGN_PASSWORD_FILE=k["password"], GNUPGHOME=gnupghome)
    signing_env.pop("KELM_SIGN_TIMESTAMP_URL", None)
    folder = os.path.join(work, "zip", WINDOWS_ZIP[:-4])

    def keys():
        with open(k["password"], "w") as f:
            f.write(os.urandom(12).hex() + "\n")
        must(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", k["key.pem"], "-out",
              k["cert.pem"], "-days", "2", "-subj", "/CN=Kelm throwaway signer",
              "-addext", "extendedKeyUsage=codeSigning"])
        must(["openssl", "pkcs12", "-export", "-inkey", k["key.pem"], "-in", k["cert.pem"], "-out", k["signer.p12"],
              "-passout", "file:" + k["password"]])
        os.makedirs(gnupghome, mode=0o700)
        must(["gpg", "--batch", "--passphrase", "", "--quick-gen-key", "Kelm throwaway <release@kelm.invalid>",
              "rsa3072", "sign", "1d"], env=gpg_env)
        listing = must(["gpg", "--batch", "--with-colons", "--list-secret-keys"], env=gpg_env)
        signing_env["KELM_GPG_KEY"] = re.search(r"^fpr:(?:[^:]*:){8}([0-9A-F]{40}):", listing, re.M).group(1)
        with open(k["public.asc"], "w") as f:
            f.write(must(["gpg", "--batch", "--armor", "--export", signing_env["KELM_GPG_KEY"]], env=gpg_env))
        return "gpg key " + signing_env["KELM_GPG_KEY"]

    def package():
        said = must(["bash", PACKAGE, out], env=signing_env, timeout=1800)
        for line in ("both .exe Authenticode-signed", "the RPM and SHA256SUMS (SHA256SUMS.asc) signed with"):
            expect(line in said, "package.sh did not say %r:\n%s" % (line, said[-2000:]))
        with zipfile.ZipFile(os.path.join(out, WINDOWS_ZIP)) as z:
            z.extractall(os.path.dirname(folder))
            modes = {i.filename: i.external_attr >> 16 & 0o7777 for i in z.infolist() if i.filename.endswith(".exe")}
        expect(sorted(modes.values()) == [0o755, 0o755], "the signed programs' modes: %s" % modes)

    def authenticode():
        for name in PROGRAMS:
            said = must(["osslsigncode", "verify", "-CAfile", k["cert.pem"], "-in", os.path.join(folder, name)])
            expect("Signature verification: ok" in said, "%s: %s" % (name, said))
            expect(re.search(r"Message digest algorithm\s*:\s*SHA256", said), "%s: not SHA-256: %s" % (name, said))

    def signatures_come_off():
        # What is under the signatures is the unsigned build, as package.sh left it beside them.
        for name in PROGRAMS:
            bare = os.path.join(work, name)
            must(["osslsigncode", "remove-signature", "-in", os.path.join(folder, name), "-out", bare])
            with open(bare, "rb") as a, open(os.path.join(REPO, "build", "windows-release", "bin", name), "rb") as b:
                expect(a.read() == b.read(), "%s without its signature is not the program built" % name)
        rpms = [os.path.join(out, f) for f in os.listdir(out) if f.endswith(".rpm")]
        rpms += glob.glob(os.path.join(REPO, "build", "linux-release", "kelm-patcher-%s-*.rpm" % VERSION))
        digests = {run(["rpm", "-qp", "--nosignature", "--qf", "%{SHA256HEADER}", r]).stdout for r in rpms}
        expect(len(rpms) == 2 and len(digests) == 1, "header digests: %s of %s" % (digests, rpms))

    def under_wine():
        must(["bash", WINE, "--server"], timeout=300)
        try:
            said = run(["bash", WINE, os.path.join(folder, "kelm-patch.exe"), "--version"], timeout=300)
        finally:
            run(["bash", WINE, "--stop"])
        expect(said.returncode == 0 and said.stdout.strip() == VERSION_LINE, "got %r %r" % (said.stdout, said.stderr))

    def rpm_signature():
        rpm = [os.path.join(out, f) for f in os.listdir(out) if f.endswith(".rpm")]
        expect(len(rpm) == 1, "RPMs: %s" % rpm)
        db = os.path.join(work, "rpmdb")
        must(["rpm", "--dbpath", db, "--import", k["public.asc"]])
        said = must(["rpm", "--dbpath", db, "-K", rpm[0]])
        expect(said.strip().endswith(": digests signatures OK"), said)

    def sums_signature():
        verifier = dict(os.environ, GNUPGHOME=os.path.join(work, "verifier"))
        os.makedirs(verifier["GNUPGHOME"], mode=0o700)
        must(["gpg", "--batch", "--import", k["public.asc"]], env=verifier)
        said = must(["gpg", "--batch", "--status-fd", "1", "--verify", "SHA256SUMS.asc", "SHA256SUMS"],
                    env=verifier, cwd=out)
        expect("[GNUPG:] VALIDSIG %s " % signing_env["KELM_GPG_KEY"] in said, said)
        expect(must(["sha256sum", "-c", "SHA256SUMS"], cwd=out).count(": OK") == 4, "SHA256SUMS")
        run(["gpgconf", "--kill", "gpg-agent"], env=verifier)

    def unanswered_time_stamp():
        # Nothing listens on the loopback's port 9.
        env = dict(signing_env, KELM_SIGN_TIMESTAMP_URL="http://127.0.0.1:9/")
        env.pop("KELM_GPG_KEY", None)
        said = run(["bash", PACKAGE, os.path.join(work, "unstamped")], env=env, timeout=1800)
        expect(said.returncode != 0 and "could not sign" in said.stderr, "package.sh went on:\n" + said.stdout[-1500:])

    checks = [("throwaway keys", keys), ("package.sh signs", package), ("osslsigncode verify", authenticode),
              ("signatures come off cleanly", signatures_come_off), ("signed kelm-patch.exe under Wine", under_wine), ("rpm -K", rpm_signature),
              ("gpg --verify SHA256SUMS.asc", sums_signature), ("unanswered time stamp fails", unanswered_time_stamp)]
    try:
        return run_checks(checks)
    finally:
        run(["gpgconf", "--kill", "gpg-agent"], env=gpg_env)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
