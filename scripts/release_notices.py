#!/usr/bin/env python3
"""Writes the release's notices from what the build used: THIRD-PARTY.txt, the licence texts under
licenses/ and the SPDX 2.3 bill of materials.

    release_notices.py BUILD_DIR PROGRAM STAGE VERSION COMMIT STAMP [UNSIGNED_SHA256]

BUILD_DIR is the configured build folder (it names the compiler and the gSOAP runtime source),
PROGRAM the panel.exe that ships, STAGE the folder the archive is made from; STAMP the commit's time, so
two runs of one commit write the same bytes. UNSIGNED_SHA256, given for a signed program, is the digest of
the program with its signature removed.

Each component is found where the build found it: the library the compiler links, the package that holds
it and that package's version and copyright file. Terms are checked against that copyright file, so a
package whose terms changed stops the release instead of shipping a wrong notice.
"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import textwrap
import time
import uuid
from pathlib import Path


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()


def cache_value(build, name):
    for line in (Path(build) / "CMakeCache.txt").read_text().splitlines():
        if line.startswith(name + ":"):
            return line.split("=", 1)[1]
    sys.exit(f"release_notices: {name} is not in the build's cache")


def compiler_of(build):
    """The C++ compiler the build was configured with (the toolchain file sets it, not the cache)."""
    for found in sorted(Path(build).glob("CMakeFiles/*/CMakeCXXCompiler.cmake")):
        match = re.search(r'set\(CMAKE_CXX_COMPILER "([^"]+)"\)', found.read_text())
        if match:
            return match.group(1)
    sys.exit("release_notices: the build names no C++ compiler")


def package_of(path):
    """The Debian package that installed path, and its version."""
    for candidate in (os.path.normpath(path), os.path.realpath(path)):
        try:
            owner = run("dpkg-query", "-S", candidate).split(":")[0]
            break
        except subprocess.CalledProcessError:
            continue
    else:
        sys.exit(f"release_notices: no package holds {path}")
    return owner, run("dpkg-query", "-W", "-f=${Version}", owner)


def upstream(debian_version):
    """2.8.124 of 2.8.124-2, 12.2.0 of 12.2.0-14+deb12u1+25.2+b1."""
    return re.sub(r"^\d+:", "", debian_version).rsplit("-", 1)[0]


def main():
    build, program, stage, version, commit, stamp = sys.argv[1:7]
    unsigned_digest = sys.argv[7] if len(sys.argv) > 7 else ""
    stage = Path(stage)
    compiler = compiler_of(build)
    linked = lambda name: run(compiler, f"-print-file-name={name}")

    runtime_source = Path(cache_value(build, "GSOAP_RUNTIME_SOURCE"))
    gsoap_tree = runtime_source.parent.parent
    gsoap_debian = run("dpkg-parsechangelog", "-l", str(gsoap_tree / "debian" / "changelog"), "-S", "Version")
    mingw_package, mingw_version = package_of(linked("crt2.o"))
    threads_package, threads_version = package_of(linked("libwinpthread.a"))
    gcc_package, gcc_version = package_of(linked("libstdc++.a"))
    gcc_copyright = Path(f"/usr/share/doc/{gcc_package}/copyright")

    # name, version, origin, SPDX terms declared, terms under which the panel takes it, notice text,
    # licence files, (copyright file, what it must say about these terms)
    components = [
        ("gSOAP runtime (stdsoap2)", upstream(gsoap_debian), f"Debian source package gsoap {gsoap_debian}",
         "(GPL-2.0-or-later OR LicenseRef-gSOAP-public-license)", "GPL-2.0-or-later",
         "GNU GPL, version 2 or later (with an exception for linking OpenSSL), or the gSOAP public licence;\n"
         "            panel.exe takes it under the GNU GPL, version 2 or later",
         ["gsoap.copyright", "GPL-2"], "gsoap", f"pkg:deb/debian/gsoap@{gsoap_debian}?arch=source",
         (gsoap_tree / "debian" / "copyright", "License: GPL-2+ with OpenSSL exception or gSOAP-public-license")),
        ("mingw-w64 runtime (start-up code, C runtime and import libraries)", upstream(mingw_version),
         f"Debian package {mingw_package} {mingw_version}", "ZPL-2.1", "NOASSERTION",
         "Zope Public License 2.1, and the further permissive terms some of its files carry (public\n"
         "            domain, BSD, expat), each listed in its copyright file",
         ["mingw-w64.copyright"], "mingw-w64-crt", f"pkg:deb/debian/{mingw_package}@{mingw_version}?arch=all",
         (Path(f"/usr/share/doc/{mingw_package}/copyright"), "License: ZPL-2.1")),
        ("winpthreads (the POSIX threads under std::thread)", upstream(threads_version),
         f"Debian package {threads_package} {threads_version}", "MIT AND BSD-3-Clause", "MIT AND BSD-3-Clause",
         "expat (MIT) and a BSD three-clause licence",
         ["mingw-w64.copyright"], "winpthreads", f"pkg:deb/debian/{threads_package}@{threads_version}?arch=all",
         (Path(f"/usr/share/doc/{threads_package}/copyright"), "Files: mingw-w64-libraries/winpthreads/*")),
        ("GCC runtime libraries (libstdc++, libgcc, libgcc_eh)", upstream(gcc_version),
         f"Debian package {gcc_package} {gcc_version}", "GPL-3.0-or-later WITH GCC-exception-3.1",
         "GPL-3.0-or-later WITH GCC-exception-3.1",
         "GNU GPL, version 3 or later, with the GCC Runtime Library Exception 3.1, which lets a\n"
         "            program compiled by GCC be handed out under terms of its own",
         ["gcc.copyright", "GPL-3"], "gcc-runtime", f"pkg:deb/debian/{gcc_package}@{gcc_version}?arch=amd64",
         (gcc_copyright, "GCC RUNTIME LIBRARY EXCEPTION")),
    ]
    for *_, (copyright_file, must_say) in components:
        if must_say not in copyright_file.read_text(errors="replace"):
            sys.exit(f"release_notices: {copyright_file} no longer says '{must_say}'; check the notice")

    licenses = stage / "licenses"
    licenses.mkdir(exist_ok=True)
    for name, source in (("gsoap.copyright", gsoap_tree / "debian" / "copyright"),
                         ("mingw-w64.copyright", Path(f"/usr/share/doc/{mingw_package}/copyright")),
                         ("gcc.copyright", gcc_copyright),
                         ("GPL-2", Path("/usr/share/common-licenses/GPL-2")),
                         ("GPL-3", Path("/usr/share/common-licenses/GPL-3"))):
        shutil.copyfile(source, licenses / name)

    imports = sorted(set(re.findall(r"DLL Name: (\S+)", run("x86_64-w64-mingw32-objdump", "-p", program))),
                     key=str.lower)
    digest = hashlib.sha256(Path(program).read_bytes()).hexdigest()

    notice = [f"Pellantix trading panel {version}: what panel.exe is made of",
              "=" * 64, "",
              "panel.exe is free software under the GNU General Public License, version 2 or later (LICENSE),",
              f"built from commit {commit}.",
              "It is linked statically with the components below, as the build found them; their copyright",
              "files and licence texts, as the build machine's packages give them, are in licenses/.", ""]
    for name, comp_version, origin, _, _, terms, files, *_ in components:
        notice += [name,
                   f"  version:  {comp_version} ({origin})",
                   f"  terms:    {terms}",
                   f"  texts:    {', '.join('licenses/' + f for f in files)}", ""]
    notice += ["Windows libraries panel.exe calls at run time (parts of Windows, not of this archive):",
               *textwrap.wrap(", ".join(imports), 100, initial_indent="  ", subsequent_indent="  "), "",
               "The corresponding source of panel.exe is pellantix-" + version + "-src.tar.gz, released beside",
               "this archive: the commit's tree and the gSOAP runtime source the build compiled.", ""]
    (stage / "THIRD-PARTY.txt").write_bytes("\r\n".join(notice).encode())

    created = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(stamp)))
    panel_comment = "Built from commit " + commit + "."
    if unsigned_digest:
        panel_comment += (" Signed with Authenticode; with its signature removed (osslsigncode"
                          f" remove-signature) its SHA-256 is {unsigned_digest}.")
    packages = [{
        "SPDXID": "SPDXRef-Package-panel", "name": "pellantix-panel", "versionInfo": version,
        "packageFileName": "panel.exe", "supplier": "Organization: the Pellantix authors",
        "downloadLocation": "NOASSERTION", "filesAnalyzed": False,
        "checksums": [{"algorithm": "SHA256", "checksumValue": digest}],
        "licenseConcluded": "GPL-2.0-or-later", "licenseDeclared": "GPL-2.0-or-later",
        "copyrightText": "Copyright (C) 2026 the Pellantix authors",
        "primaryPackagePurpose": "APPLICATION", "comment": panel_comment,
    }]
    relationships = [{"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                      "relatedSpdxElement": "SPDXRef-Package-panel"}]
    for name, comp_version, origin, declared, concluded, _, _, spdx_name, purl, _ in components:
        element = "SPDXRef-Package-" + spdx_name
        packages.append({
            "SPDXID": element, "name": spdx_name, "versionInfo": comp_version, "supplier": "Organization: Debian",
            "downloadLocation": "NOASSERTION", "filesAnalyzed": False, "sourceInfo": origin,
            "licenseConcluded": concluded, "licenseDeclared": declared, "copyrightText": "NOASSERTION",
            "primaryPackagePurpose": "LIBRARY", "description": name,
            "externalRefs": [{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
                              "referenceLocator": purl}],
        })
        relationships.append({"spdxElementId": "SPDXRef-Package-panel", "relationshipType": "STATIC_LINK",
                              "relatedSpdxElement": element})
    for dll in imports:
        element = "SPDXRef-Windows-" + re.sub(r"[^A-Za-z0-9.-]", "-", dll)
        packages.append({
            "SPDXID": element, "name": dll, "downloadLocation": "NONE", "filesAnalyzed": False,
            "supplier": "NOASSERTION", "licenseConcluded": "NOASSERTION", "licenseDeclared": "NOASSERTION",
            "copyrightText": "NOASSERTION", "primaryPackagePurpose": "OPERATING-SYSTEM",
            "comment": "Part of Windows, loaded at run time; not in the archive.",
        })
        relationships.append({"spdxElementId": "SPDXRef-Package-panel", "relationshipType": "DYNAMIC_LINK",
                              "relatedSpdxElement": element})
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": f"pellantix-{version}-win64",
        # The same release gives the same name; another program, another name.
        "documentNamespace": "urn:uuid:" + str(uuid.uuid5(uuid.NAMESPACE_OID, f"pellantix/{version}/{commit}/{digest}")),
        "creationInfo": {"created": created, "creators": ["Tool: scripts/release.sh"]},
        "packages": packages, "relationships": relationships,
        "hasExtractedLicensingInfos": [{
            "licenseId": "LicenseRef-gSOAP-public-license", "name": "gSOAP Public License 1.3",
            "extractedText": "The gSOAP public licence, based on the Mozilla Public License 1.1, under which the "
                             "gSOAP runtime is offered besides the GNU GPL; panel.exe does not take it under "
                             "these terms. See licenses/gsoap.copyright.",
        }],
    }
    (stage / f"pellantix-{version}.spdx.json").write_text(json.dumps(document, indent=2) + "\n")


if __name__ == "__main__":
    main()
