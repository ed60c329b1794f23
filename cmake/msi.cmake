# Makes ruvo's Windows Installer package from a folder that holds the files
# of the .zip (ruvo.exe, LICENSE.txt, README-windows.txt):
#
#   cmake -DVERSION=<version> -DFILES=<folder> -DOUTPUT=<file.msi> -DMANUFACTURER=<name>
#         -DDESCRIPTION=<text> -P msi.cmake
#
# wixl (package wixl) builds it from packaging/ruvo.wxs.in, whose opening
# comment tells how the folder and its PATH entry are checked, and msibuild
# (package msitools) then writes what wixl 0.101 cannot:
# - the Environment table, whose one row appends the install folder to the
#   machine's PATH ([~] is the value already there; = sets it on install, -
#   takes the folder out again on uninstall, * makes it the machine's). PATH
#   keeps its type, and a repair or a second install does not append the
#   folder again (the wine.*.msi.* tests check both). The row belongs to the
#   component "path", whose condition wixl cannot write either;
# - CheckPath, the script that sets AddToPath for that condition (below). A
#   condition can neither cut a final "\" off a folder nor split PATH into
#   entries, so this is JScript, which Windows Installer runs itself, from
#   the property CheckPathScript (type 53), without Windows Script Host;
# - ruvo.exe's file version and language (U.S. English, as its version
#   resource says), so that Windows Installer compares versions, not hashes
#   and dates, when it replaces the program; the hash row wixl writes for
#   every file stays only for the unversioned text files;
# - the short name of README-windows.txt, which is no 8.3 name;
# - INSTALLDIR among the secure properties;
# - the install folder's permissions (MsiLockPermissionsEx, Windows Installer
#   5.0 and later): a folder outside Program Files, such as one made under
#   C:\, would let every user of the machine write to it, and so plant a
#   program or a DLL in a folder on the machine's PATH. Its DACL is
#   protected (nothing inherited), full control for SYSTEM and the
#   Administrators, read and execute for Users, accounts given as SIDs so
#   that no name depends on Windows' language;
# - the summary information, with the package code (below).
foreach(name VERSION FILES OUTPUT MANUFACTURER DESCRIPTION)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "msi.cmake needs -D${name}=...")
  endif()
endforeach()
find_program(WIXL wixl)
find_program(MSIBUILD msibuild)
find_program(MSIINFO msiinfo)
if(NOT WIXL OR NOT MSIBUILD OR NOT MSIINFO)
  message(FATAL_ERROR "The .msi needs wixl, msibuild and msiinfo (packages wixl and msitools)")
endif()

if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "VERSION is ${VERSION}, not major.minor.patch")
endif()
# ruvo.exe's version resource says major,minor,patch,0 (src/windows/version.rc.in).
set(file_version ${VERSION}.0)

# Each version is a product of its own, whose code follows from the version.
set(namespace 223B4EE4-CF35-416B-8D47-54795D0EBF38)
string(UUID PRODUCT_CODE NAMESPACE ${namespace} NAME "ruvo-product-${VERSION}" TYPE SHA1 UPPER)
# The conditions under which INSTALLDIR starts as a local full path, which
# the .wxs explains: a clause for each drive letter, nine to a condition. As
# text of XML, "<" is written "&lt;".
foreach(letters ABCDEFGHI JKLMNOPQR STUVWXYZ)
  string(REGEX REPLACE "(.)" "INSTALLDIR ~&lt;&lt; \"\\1:\\\\\" OR " condition ${letters})
  string(REGEX REPLACE "^(.).*(.)$" "FULL_PATH_\\1_TO_\\2" name ${letters})
  string(REGEX REPLACE " OR $" "" ${name} "${condition}")
endforeach()
# The publisher and the description as text of XML, whatever they hold.
foreach(name MANUFACTURER DESCRIPTION)
  string(REPLACE "&" "&amp;" xml_${name} "${${name}}")
  string(REPLACE "<" "&lt;" xml_${name} "${xml_${name}}")
  string(REPLACE ">" "&gt;" xml_${name} "${xml_${name}}")
  string(REPLACE "\"" "&quot;" xml_${name} "${xml_${name}}")
endforeach()
set(wxs ${OUTPUT}.wxs)
configure_file(${CMAKE_CURRENT_LIST_DIR}/../packaging/ruvo.wxs.in ${wxs} @ONLY)
# Windows Installer caches a package by its package code and takes two
# packages with one code for the same package, so the code must change
# whenever the package does: it follows from the version and a digest of
# what makes the package (the files, the source for wixl, this script and
# wixl's version), so that the same sources still give the same package.
execute_process(COMMAND ${WIXL} --version OUTPUT_VARIABLE contents COMMAND_ERROR_IS_FATAL ANY)
foreach(file ${FILES}/ruvo.exe ${FILES}/LICENSE.txt ${FILES}/README-windows.txt ${wxs}
             ${CMAKE_CURRENT_LIST_FILE})
  file(SHA256 ${file} digest)
  string(APPEND contents "${digest}\n")
endforeach()
string(SHA256 digest "${contents}")
string(UUID package_code NAMESPACE ${namespace} NAME "ruvo-package-${VERSION}-${digest}" TYPE SHA1
       UPPER)

# wixl writes the time into the summary information and the files' times into
# the cabinet. With SOURCE_DATE_EPOCH set, both are that time: the files get
# it as their time, and wixl and msibuild run under faketime (package
# faketime) with the clock stopped at it.
set(at_epoch "")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  find_program(FAKETIME faketime)
  if(NOT FAKETIME)
    message(FATAL_ERROR "With SOURCE_DATE_EPOCH set, the .msi needs faketime (package faketime)")
  endif()
  execute_process(COMMAND touch -d @$ENV{SOURCE_DATE_EPOCH} ruvo.exe LICENSE.txt
                          README-windows.txt WORKING_DIRECTORY ${FILES} COMMAND_ERROR_IS_FATAL ANY)
  string(TIMESTAMP epoch "%Y-%m-%d %H:%M:%S" UTC) # SOURCE_DATE_EPOCH's time
  set(ENV{TZ} UTC)
  set(at_epoch ${FAKETIME} -f ${epoch})
endif()

# CheckPath's script, run at a first install or an upgrade, before
# CostFinalize: AddToPath is "1" when the machine's PATH holds no entry that
# is the folder, or when it holds the one that an older version added, which
# that version's removal takes away. Entries compare whatever the case of
# their letters, and with a final "\" or without, but for a drive's own
# (C:\ is not C:). Windows hands AppSearch a REG_EXPAND_SZ value unexpanded
# with "#%" in front, and a REG_SZ value that starts with "#" with a second
# one; Wine expands the first. An entry written with a variable, such as
# %SystemDrive%\tools, so matches no folder: the folder is added beside it,
# and taken away again. The text holds no "'", which would end msibuild's
# string, nor square brackets, so that it reads the same whether or not
# Windows takes it for formatted text.
set(check_path_script [=[
function entries(list) {
    return (";" + list + ";").toLowerCase().replace(/\\+;/g, function (end, at, all) {
        return all.charAt(at - 1) == ":" ? end : ";";
    });
}
var folder = entries(Session.Property("INSTALLDIR"));
var path = entries(Session.Property("MACHINEPATH").replace(/^#%/, "").replace(/^##/, "#"));
var kept = entries(Session.Property("KEPTPATHENTRY"));
Session.Property("AddToPath") = path.indexOf(folder) < 0 || kept == folder ? "1" : "";
]=])
# The path component once installed is there exactly while KEPTPATHENTRY is.
set(path_condition "(NOT Installed AND AddToPath) OR (Installed AND KEPTPATHENTRY)")

# Made under another name and renamed when whole: a step that fails leaves
# no package half-made under the package's name.
set(made ${OUTPUT}.part)
file(REMOVE ${OUTPUT} ${made})
# wixl finds the files named in the source in the folder it runs in.
execute_process(COMMAND ${at_epoch} ${WIXL} -a x86 -o ${made} ${wxs}
                WORKING_DIRECTORY ${FILES} COMMAND_ERROR_IS_FATAL ANY)
# wixl lists the properties of its MajorUpgrade as secure; INSTALLDIR joins them.
execute_process(COMMAND ${MSIINFO} export ${made} Property OUTPUT_VARIABLE properties
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT properties MATCHES "\nSecureCustomProperties\t([^\r\n]+)")
  message(FATAL_ERROR "wixl wrote no SecureCustomProperties:\n${properties}")
endif()
set(secure "INSTALLDIR;${CMAKE_MATCH_1}")
execute_process(
  COMMAND ${at_epoch} ${MSIBUILD} ${made}
    -q "CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, \
`Name` CHAR(255) NOT NULL LOCALIZABLE, `Value` CHAR(255) LOCALIZABLE, \
`Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)"
    -q "INSERT INTO `Environment` (`Environment`, `Name`, `Value`, `Component_`) \
VALUES ('PATH', '=-*PATH', '[~];[INSTALLDIR]', 'path')"
    -q "UPDATE `Component` SET `Condition` = '${path_condition}' WHERE `Component` = 'path'"
    -q "INSERT INTO `Property` (`Property`, `Value`) VALUES ('CheckPathScript', '${check_path_script}')"
    -q "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`) VALUES ('CheckPath', 53, 'CheckPathScript')"
    -q "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) \
VALUES ('CheckPath', 'NOT Installed', 990)"
    -q "CREATE TABLE `MsiLockPermissionsEx` (`MsiLockPermissionsEx` CHAR(72) NOT NULL, \
`LockObject` CHAR(72) NOT NULL, `Table` CHAR(32) NOT NULL, `SDDL` LONGCHAR NOT NULL, \
`Condition` CHAR(255) PRIMARY KEY `MsiLockPermissionsEx`)"
    -q "INSERT INTO `MsiLockPermissionsEx` (`MsiLockPermissionsEx`, `LockObject`, `Table`, `SDDL`) \
VALUES ('InstallDir', 'INSTALLDIR', 'CreateFolder', 'D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)')"
    -q "UPDATE `File` SET `Version` = '${file_version}', `Language` = '1033' \
WHERE `File` = 'ruvo.exe'"
    -q "DELETE FROM `MsiFileHash` WHERE `File_` = 'ruvo.exe'"
    -q "UPDATE `File` SET `FileName` = 'README-W.TXT|README-windows.txt' \
WHERE `File` = 'README_windows.txt'"
    -q "UPDATE `Property` SET `Value` = '${secure}' WHERE `Property` = 'SecureCustomProperties'"
    -s "ruvo ${VERSION}" "${MANUFACTURER}" "Intel;1033" {${package_code}}
  COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${made} ${OUTPUT})
