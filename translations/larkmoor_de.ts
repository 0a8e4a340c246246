<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutDialog</name>
    <message>
        <source>Larkmoor %1</source>
        <translation>Larkmoor %1</translation>
    </message>
    <message>
        <source>© Orvandel. For Orvandel OTP tokens.</source>
        <translation>© Orvandel. Für Orvandel-OTP-Token.</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über Larkmoor</translation>
    </message>
    <message>
        <source>The log:</source>
        <translation>Protokolldatei:</translation>
    </message>
    <message>
        <source>Larkmoor version %1</source>
        <translation>Larkmoor Version %1</translation>
    </message>
</context>
<context>
    <name>CopyRequest</name>
    <message>
        <source>No token found; nothing was copied.</source>
        <translation>Kein Token gefunden; nichts wurde kopiert.</translation>
    </message>
    <message numerus="yes">
        <source>Code copied, %n second(s) left</source>
        <translation>
            <numerusform>Code kopiert, noch %n Sekunde</numerusform>
            <numerusform>Code kopiert, noch %n Sekunden</numerusform>
        </translation>
    </message>
    <message>
        <source>No code came in time; nothing was copied.</source>
        <translation>Kein Code kam rechtzeitig; nichts wurde kopiert.</translation>
    </message>
</context>
<context>
    <name>HelpDialog</name>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
</context>
<context>
    <name>OtpStatus</name>
    <message>
        <source>Press the key to get the OTP!</source>
        <translation>Drücken Sie die Taste am Token,
um den Code zu erhalten!</translation>
    </message>
    <message>
        <source>Failed to access the key.
Re-plug in the key!</source>
        <translation>Kein Zugriff auf den Token.
Stecken Sie ihn neu ein!</translation>
    </message>
    <message>
        <source>Failed to access the key.
Re-plug in the key and
click the Rescan button!</source>
        <translation>Kein Zugriff auf den Token.
Stecken Sie ihn neu ein und
klicken Sie auf „Neu suchen“!</translation>
    </message>
    <message>
        <source>Reading the key…</source>
        <translation>Der Token wird gelesen …</translation>
    </message>
    <message>
        <source>If you are in Press Mode, 
the key requires press to get token info</source>
        <translation>Im Tastendruckmodus zeigt der Token
seine Daten erst nach Tastendruck.</translation>
    </message>
    <message>
        <source>The key was not pressed in time.
Open Token Info again to retry.</source>
        <translation>Die Taste wurde nicht rechtzeitig gedrückt.
Öffnen Sie „Token-Info“ erneut.</translation>
    </message>
    <message>
        <source>Failed to read the key.
Open Token Info again to retry.</source>
        <translation>Der Token konnte nicht gelesen werden.
Öffnen Sie „Token-Info“ erneut.</translation>
    </message>
    <message>
        <source>The key has no record
for its serial number.</source>
        <translation>Der Token hat keinen Eintrag
für seine Seriennummer.</translation>
    </message>
</context>
<context>
    <name>PreferencesDialog</name>
    <message>
        <source>In effect.</source>
        <translation>Derzeit eingestellt.</translation>
    </message>
    <message>
        <source>Not in effect.</source>
        <translation>Derzeit nicht eingestellt.</translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation>Optionen</translation>
    </message>
    <message>
        <source>Enable Key Press</source>
        <translation>Tastendruck einschalten</translation>
    </message>
    <message>
        <source>The token gives a code only after its button is pressed.</source>
        <translation>Der Token liefert einen Code erst, nachdem seine Taste gedrückt wurde.</translation>
    </message>
    <message>
        <source>Disable Key Press</source>
        <translation>Tastendruck ausschalten</translation>
    </message>
    <message>
        <source>The token gives a code without a press of its button.</source>
        <translation>Der Token liefert einen Code ohne Druck auf seine Taste.</translation>
    </message>
    <message>
        <source>Waiting for the token…
press its button if it blinks.</source>
        <translation>Warten auf den Token…
Drücken Sie seine Taste, wenn sie blinkt.</translation>
    </message>
    <message>
        <source>Keep running in the tray when the window is closed</source>
        <translation>Im Infobereich weiterlaufen, wenn das Fenster geschlossen wird</translation>
    </message>
    <message>
        <source>No tray on this desktop</source>
        <translation>Kein Infobereich auf diesem Desktop</translation>
    </message>
</context>
<context>
    <name>PressModeResultDialog</name>
    <message>
        <source>Press Mode Settings</source>
        <translation>Tastendruckmodus</translation>
    </message>
</context>
<context>
    <name>TitleDialog</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TokenInfo</name>
    <message>
        <source>Serial Number: </source>
        <translation>Seriennummer: </translation>
    </message>
    <message>
        <source>Algorithm: </source>
        <translation>Algorithmus: </translation>
    </message>
    <message>
        <source>Hash: </source>
        <translation>Hash-Verfahren: </translation>
    </message>
</context>
<context>
    <name>TokenInfoDialog</name>
    <message>
        <source>Token Info</source>
        <translation>Token-Info</translation>
    </message>
</context>
<context>
    <name>Tray</name>
    <message>
        <source>Copy code</source>
        <translation>Code kopieren</translation>
    </message>
    <message>
        <source>Show Larkmoor</source>
        <translation>Larkmoor zeigen</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
</context>
<context>
    <name>init_page</name>
    <message>
        <source>No Key Detected!</source>
        <translation>Kein Token erkannt!</translation>
    </message>
    <message>
        <source>Plug the token in. If it is plugged in, the help tells what to do:</source>
        <translation>Stecken Sie den Token ein. Steckt er bereits, lesen Sie in der Hilfe nach:</translation>
    </message>
    <message>
        <source>Token not found?</source>
        <translation>Token nicht gefunden?</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Press Mode Enabled.</source>
        <translation>Tastendruckmodus eingeschaltet.</translation>
    </message>
    <message>
        <source>Press Mode Disabled.</source>
        <translation>Tastendruckmodus ausgeschaltet.</translation>
    </message>
    <message>
        <source>Larkmoor</source>
        <translation>Larkmoor</translation>
    </message>
    <message>
        <source>Menu bar</source>
        <translation>Menüleiste</translation>
    </message>
    <message>
        <source>Unavailable until a token is found</source>
        <translation>Nicht verfügbar, solange kein Token gefunden ist</translation>
    </message>
    <message>
        <source>File</source>
        <translation>Datei</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Preferences...</source>
        <translation>Optionen…</translation>
    </message>
    <message>
        <source>Token Info...</source>
        <translation>Token-Info…</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
    <message>
        <source>Online Help</source>
        <translation>Online-Hilfe</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über Larkmoor</translation>
    </message>
    <message>
        <source>This key doesn&apos;t support it.</source>
        <translation>Dieser Token unterstützt das nicht.</translation>
    </message>
    <message>
        <source>Alt+F</source>
        <extracomment>Opens the File menu: Alt and the first letter of the menu&apos;s title</extracomment>
        <translation>Alt+D</translation>
    </message>
    <message>
        <source>Alt+S</source>
        <extracomment>Opens the Settings menu: Alt and the first letter of the menu&apos;s title</extracomment>
        <translation>Alt+E</translation>
    </message>
    <message>
        <source>Alt+H</source>
        <extracomment>Opens the Help menu: Alt and the first letter of the menu&apos;s title</extracomment>
        <translation>Alt+H</translation>
    </message>
</context>
<context>
    <name>otp_status_view</name>
    <message numerus="yes">
        <source>Next code in %n second(s)</source>
        <translation>
            <numerusform>Nächster Code in %n Sekunde</numerusform>
            <numerusform>Nächster Code in %n Sekunden</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n second(s) left</source>
        <translation>
            <numerusform>Noch %n Sekunde</numerusform>
            <numerusform>Noch %n Sekunden</numerusform>
        </translation>
    </message>
    <message>
        <source>Code %1, %2</source>
        <translation>Code %1, %2</translation>
    </message>
    <message numerus="yes">
        <source>No code yet: next code in %n second(s)</source>
        <translation>
            <numerusform>Noch kein Code: nächster Code in %n Sekunde</numerusform>
            <numerusform>Noch kein Code: nächster Code in %n Sekunden</numerusform>
        </translation>
    </message>
    <message>
        <source>Reading the code…</source>
        <translation>Code wird gelesen…</translation>
    </message>
    <message>
        <source>Space or Ctrl+C copies the code</source>
        <translation>Leertaste oder Strg+C kopiert den Code</translation>
    </message>
    <message>
        <source>Copy code</source>
        <translation>Code kopieren</translation>
    </message>
    <message>
        <source>Ctrl+C</source>
        <translation>Strg+C</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
</context>
</TS>
