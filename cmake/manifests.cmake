# Writes the manifests that winget and scoop install ruvo from, for the .msi
# and the .zip of one version that lie in the release folder, beside them
# (cmake/release.cmake runs it, once the addresses are checked):
#
#   cmake -DVERSION=<version> -DFOLDER=<release folder> -DDOWNLOAD_URL=<address ending in />
#         -DHOMEPAGE=<web page> -DLICENSE_URL=<address> -DPUBLISHER=<name>
#         -DDESCRIPTION=<text> -P manifests.cmake
#
# - for winget: a multi-file manifest (ManifestVersion 1.10.0), one file each for
#   the version, the installers and the en-US texts. The installers are the
#   .msi, for the whole machine, with the ProductCode and the UpgradeCode read
#   from it, and the .zip, whose ruvo.exe winget installs as a portable
#   command. The texts give the homepage as the publisher's address, and the
#   licence's address where it is known (LICENSE_URL);
# - for scoop, ruvo.json: the .zip, with checkver, which finds the newest version
#   on the homepage by the .zip's name, and autoupdate, which makes the next
#   version's manifest from the download address and the SHA256SUMS published
#   beside the packages.
# Each package is named by its download address, DOWNLOAD_URL and its file
# name, and by the SHA-256 of the file in the build folder: the manifests are
# made last, from the signed packages as they are uploaded.
foreach(name VERSION FOLDER DOWNLOAD_URL HOMEPAGE LICENSE_URL PUBLISHER DESCRIPTION)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "manifests.cmake needs -D${name}=...")
  endif()
endforeach()
set(msi ruvo-${VERSION}-win32.msi)
set(zip ruvo-${VERSION}-win32.zip)
find_program(MSIINFO msiinfo)
if(NOT MSIINFO)
  message(FATAL_ERROR "The manifests need msiinfo (package msitools)")
endif()
execute_process(COMMAND ${MSIINFO} export ${FOLDER}/${msi} Property OUTPUT_VARIABLE properties
                COMMAND_ERROR_IS_FATAL ANY)
foreach(property ProductCode UpgradeCode)
  if(NOT properties MATCHES "\n${property}\t([^\r\n]+)")
    message(FATAL_ERROR "${msi} has no ${property}")
  endif()
  set(${property} ${CMAKE_MATCH_1})
endforeach()
file(SHA256 ${FOLDER}/${msi} msi_sha256)
file(SHA256 ${FOLDER}/${zip} zip_sha256)
string(TOUPPER ${msi_sha256} msi_sha256_upper)
string(TOUPPER ${zip_sha256} zip_sha256_upper)
set(msi_url ${DOWNLOAD_URL}${msi})
set(zip_url ${DOWNLOAD_URL}${zip})
# scoop's autoupdate puts the next version in place of $version, in the file
# name and wherever the download address names the version.
string(REPLACE "${VERSION}" "$version" autoupdate_url "${zip_url}")

# Quoted as YAML and JSON strings, so that a colon or a quote in them cannot
# break the manifests.
foreach(name VERSION HOMEPAGE LICENSE_URL PUBLISHER DESCRIPTION msi_url zip_url
             autoupdate_url)
  string(REPLACE "'" "''" yaml_${name} "${${name}}")
  set(yaml_${name} "'${yaml_${name}}'")
  string(REPLACE "\\" "\\\\" json_${name} "${${name}}")
  string(REPLACE "\"" "\\\"" json_${name} "${json_${name}}")
  set(json_${name} "\"${json_${name}}\"")
endforeach()

# winget ties the versions of a package together by this identifier, in its
# Publisher.Name form: like the UpgradeCode, it must never change. Both
# manifests give LICENSE's licence by its SPDX identifier, MIT.
set(id ruvo.ruvo)
set(header "# yaml-language-server: $schema=https://aka.ms/winget-manifest")
set(ids "PackageIdentifier: ${id}\nPackageVersion: ${yaml_VERSION}")
set(footer "ManifestVersion: 1.10.0")
string(CONFIGURE [=[@header@.version.1.10.0.schema.json
@ids@
DefaultLocale: en-US
ManifestType: version
@footer@
]=] text @ONLY)
file(WRITE ${FOLDER}/${id}.yaml "${text}")
string(CONFIGURE [=[@header@.installer.1.10.0.schema.json
@ids@
Commands:
- ruvo
Installers:
- Architecture: x86
  InstallerType: msi
  Scope: machine
  InstallerUrl: @yaml_msi_url@
  InstallerSha256: @msi_sha256_upper@
  ProductCode: '@ProductCode@'
  AppsAndFeaturesEntries:
  - UpgradeCode: '@UpgradeCode@'
- Architecture: x86
  InstallerType: zip
  NestedInstallerType: portable
  NestedInstallerFiles:
  - RelativeFilePath: ruvo\ruvo.exe
    PortableCommandAlias: ruvo
  InstallerUrl: @yaml_zip_url@
  InstallerSha256: @zip_sha256_upper@
ManifestType: installer
@footer@
]=] text @ONLY)
file(WRITE ${FOLDER}/${id}.installer.yaml "${text}")
set(license_url "")
if(LICENSE_URL)
  set(license_url "LicenseUrl: ${yaml_LICENSE_URL}\n")
endif()
string(CONFIGURE [=[@header@.defaultLocale.1.10.0.schema.json
@ids@
PackageLocale: en-US
Publisher: @yaml_PUBLISHER@
PublisherUrl: @yaml_HOMEPAGE@
PackageName: ruvo
PackageUrl: @yaml_HOMEPAGE@
License: MIT
@license_url@ShortDescription: @yaml_DESCRIPTION@
Moniker: ruvo
Tags:
- environment-variables
- path
- classpath
- command-line
ManifestType: defaultLocale
@footer@
]=] text @ONLY)
file(WRITE ${FOLDER}/${id}.locale.en-US.yaml "${text}")

# scoop unpacks the .zip into a folder of its own: extract_dir takes the
# files out of the .zip's one folder, ruvo.
string(CONFIGURE [=[{
    "version": @json_VERSION@,
    "description": @json_DESCRIPTION@,
    "homepage": @json_HOMEPAGE@,
    "license": "MIT",
    "url": @json_zip_url@,
    "hash": "@zip_sha256@",
    "extract_dir": "ruvo",
    "bin": "ruvo.exe",
    "checkver": {
        "url": @json_HOMEPAGE@,
        "regex": "ruvo-([\\d.]+)-win32\\.zip"
    },
    "autoupdate": {
        "url": @json_autoupdate_url@,
        "hash": {
            "url": "$baseurl/SHA256SUMS",
            "regex": "$sha256\\s+\\*?$basename"
        }
    }
}
]=] text @ONLY)
file(WRITE ${FOLDER}/ruvo.json "${text}")
message(STATUS "Manifests for winget and scoop in ${FOLDER}")
