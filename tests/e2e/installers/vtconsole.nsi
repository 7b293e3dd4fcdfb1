; An installer as a vendor builds it with NSIS: it installs the launcher and Setup.exe into the
; folder chosen with /D= and runs the launcher's install mode there, waiting for it. The site's
; services.xml and connections.xml lie beside the installer.
;
;   makensis -DOUTFILE=setup.exe [-DSETUP] [-DAMD64] [-DLAUNCHER_NAME=VTConsole.exe] vtconsole.nsi
;
; in a folder that holds VTConsole.exe and, with SETUP, Setup.exe.
!ifdef AMD64
  Target amd64-unicode  ; a 64-bit installer program; without it NSIS builds a 32-bit one
!endif
!ifndef LAUNCHER_NAME
  !define LAUNCHER_NAME VTConsole.exe
!endif
Name "Veltrix Console"
OutFile "${OUTFILE}"
RequestExecutionLevel user
SilentInstall silent
InstallDir "$LOCALAPPDATA\Programs\Veltrix Console"

Section
  SetOutPath "$INSTDIR"  ; also the current folder of the programs that ExecWait starts
  File "/oname=${LAUNCHER_NAME}" "VTConsole.exe"
  !ifdef SETUP
    File "Setup.exe"
  !endif
  ExecWait '"$INSTDIR\${LAUNCHER_NAME}" --install' $0
  ; For the tests: the launcher's exit code becomes the installer's, and the stand-ins' log is
  ; copied as it stood when the launcher had ended.
  SetErrorLevel $0
  ReadEnvStr $1 VT_STANDIN_LOG
  CopyFiles /SILENT "$1" "$1.at-return"
SectionEnd
