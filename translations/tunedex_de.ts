<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>CMainFrame</name>
    <message>
        <source>File filter</source>
        <translation>Dateifilter</translation>
    </message>
</context>
<context>
    <name>ErrorAdvice</name>
    <message>
        <source>The player finds no memory card. Insert the card firmly, or work on the internal memory.</source>
        <translation>Der Player findet keine Speicherkarte. Stecken Sie die Karte fest ein oder arbeiten Sie mit dem internen Speicher.</translation>
    </message>
    <message>
        <source>The memory card was changed while it was in use. Press F5 to read it again.</source>
        <translation>Die Speicherkarte wurde während der Benutzung gewechselt. Drücken Sie F5, um sie neu einzulesen.</translation>
    </message>
    <message>
        <source>The player cannot read the file system of this memory. Formatting it makes it usable again, but deletes everything on it.</source>
        <translation>Der Player kann das Dateisystem dieses Speichers nicht lesen. Formatieren macht ihn wieder nutzbar, löscht aber alles darauf.</translation>
    </message>
    <message>
        <source>The player does not accept this name. Use a shorter name of letters, digits and spaces.</source>
        <translation>Der Player nimmt diesen Namen nicht an. Verwenden Sie einen kürzeren Namen aus Buchstaben, Ziffern und Leerzeichen.</translation>
    </message>
    <message>
        <source>A file or directory of this name is already on the player. Rename or delete it first.</source>
        <translation>Auf dem Player gibt es schon eine Datei oder einen Ordner mit diesem Namen. Benennen Sie diese zuerst um oder löschen Sie sie.</translation>
    </message>
    <message>
        <source>This directory on the player holds as many files as it can. Delete some, or use another directory.</source>
        <translation>Dieser Ordner auf dem Player ist voll. Löschen Sie einige Dateien oder nehmen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>The player no longer has this file or directory. Press F5 to see what is there now.</source>
        <translation>Der Player hat diese Datei oder diesen Ordner nicht mehr. Drücken Sie F5, um den aktuellen Inhalt zu sehen.</translation>
    </message>
    <message>
        <source>This cannot be done in the top directory of the memory.</source>
        <translation>Im obersten Ordner des Speichers ist das nicht möglich.</translation>
    </message>
    <message>
        <source>The player does not allow this. If the memory card has a lock switch, slide it to unlocked.</source>
        <translation>Der Player erlaubt das nicht. Hat die Speicherkarte einen Schreibschutzschalter, schieben Sie ihn auf „entsperrt“.</translation>
    </message>
    <message>
        <source>The memory of the player is full. Delete files on the player to make room.</source>
        <translation>Der Speicher des Players ist voll. Löschen Sie Dateien auf dem Player, um Platz zu schaffen.</translation>
    </message>
    <message>
        <source>The player&apos;s memory reported damaged data. Copy off what you need; formatting at low level may mend it.</source>
        <translation>Der Speicher des Players meldet beschädigte Daten. Sichern Sie, was Sie brauchen; eine Low-Level-Formatierung kann ihn reparieren.</translation>
    </message>
    <message>
        <source>The connection to the player was disturbed. Check the cable and try again.</source>
        <translation>Die Verbindung zum Player war gestört. Prüfen Sie das Kabel und versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>The player&apos;s firmware cannot do this. A newer firmware may.</source>
        <translation>Die Firmware des Players kann das nicht. Eine neuere Firmware kann es vielleicht.</translation>
    </message>
    <message>
        <source>The player refused the command. Press F5 and try again; if it keeps failing, unplug the player and plug it in again.</source>
        <translation>Der Player hat den Befehl abgelehnt. Drücken Sie F5 und versuchen Sie es noch einmal; klappt es weiterhin nicht, ziehen Sie den Player ab und schließen Sie ihn wieder an.</translation>
    </message>
    <message>
        <source>A file or folder on this computer was not found. Check that it still exists.</source>
        <translation>Eine Datei oder ein Ordner auf diesem Computer wurde nicht gefunden. Prüfen Sie, ob es sie noch gibt.</translation>
    </message>
    <message>
        <source>You may not use this file or folder on this computer. Choose another folder or change its permissions.</source>
        <translation>Sie dürfen diese Datei oder diesen Ordner auf diesem Computer nicht verwenden. Wählen Sie einen anderen Ordner oder ändern Sie die Berechtigungen.</translation>
    </message>
    <message>
        <source>The disk of this computer is full. Make room, or choose a folder on another disk.</source>
        <translation>Der Datenträger dieses Computers ist voll. Schaffen Sie Platz oder wählen Sie einen Ordner auf einem anderen Datenträger.</translation>
    </message>
    <message>
        <source>The folder on this computer is read-only. Choose another folder.</source>
        <translation>Der Ordner auf diesem Computer ist schreibgeschützt. Wählen Sie einen anderen Ordner.</translation>
    </message>
    <message>
        <source>The name or path is too long for this computer. Choose a shorter name or a folder nearer the top.</source>
        <translation>Name oder Pfad sind für diesen Computer zu lang. Wählen Sie einen kürzeren Namen oder einen Ordner weiter oben.</translation>
    </message>
    <message>
        <source>A folder is in the way where a file was to be written. Rename the folder or choose another name.</source>
        <translation>Wo eine Datei geschrieben werden sollte, steht ein Ordner im Weg. Benennen Sie den Ordner um oder wählen Sie einen anderen Namen.</translation>
    </message>
    <message>
        <source>A file on this computer could not be read or written. Check that it exists and that you may use it.</source>
        <translation>Eine Datei auf diesem Computer konnte nicht gelesen oder geschrieben werden. Prüfen Sie, ob es sie gibt und ob Sie sie verwenden dürfen.</translation>
    </message>
    <message>
        <source>The USB system cannot be used. Check that you may use USB devices (the udev rule of the player is installed).</source>
        <translation>Das USB-System ist nicht nutzbar. Prüfen Sie, ob Sie USB-Geräte verwenden dürfen (die udev-Regel des Players ist installiert).</translation>
    </message>
    <message>
        <source>No player is connected. Plug the player in, switch it on and wait a moment.</source>
        <translation>Es ist kein Player verbunden. Schließen Sie den Player an, schalten Sie ihn ein und warten Sie einen Moment.</translation>
    </message>
    <message>
        <source>The player did not answer in time. Check the cable; for large files or a slow card, raise the time-outs in Edit &gt; Option.</source>
        <translation>Der Player hat nicht rechtzeitig geantwortet. Prüfen Sie das Kabel; für große Dateien oder eine langsame Karte erhöhen Sie die Zeitlimits unter Bearbeiten &gt; Optionen.</translation>
    </message>
    <message>
        <source>This computer ran out of memory. Close other programs and try again.</source>
        <translation>Diesem Computer ist der Arbeitsspeicher ausgegangen. Schließen Sie andere Programme und versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>The player cannot hold a file of 4 GB or more. Split the file or copy a smaller one.</source>
        <translation>Der Player kann keine Datei von 4 GB oder mehr aufnehmen. Teilen Sie die Datei oder kopieren Sie eine kleinere.</translation>
    </message>
    <message>
        <source>The player&apos;s firmware cannot do this. A newer firmware may; the expected version is set in Edit &gt; Option.</source>
        <translation>Die Firmware des Players kann das nicht. Eine neuere Firmware kann es vielleicht; die erwartete Version stellen Sie unter Bearbeiten &gt; Optionen ein.</translation>
    </message>
    <message>
        <source>There is no memory card in the player. Insert one, or work on the internal memory.</source>
        <translation>Im Player steckt keine Speicherkarte. Stecken Sie eine ein oder arbeiten Sie mit dem internen Speicher.</translation>
    </message>
    <message>
        <source>The player cannot store this name (for example &apos;:&apos; or &apos;\&apos; in it). Rename the file or let TuneDeck use &apos;_&apos; instead.</source>
        <translation>Der Player kann diesen Namen nicht speichern (etwa mit „:“ oder „\“ darin). Benennen Sie die Datei um oder lassen Sie TuneDeck stattdessen „_“ verwenden.</translation>
    </message>
    <message>
        <source>Something unexpected went wrong. Try again; if it keeps failing, unplug the player and plug it in again.</source>
        <translation>Etwas Unerwartetes ist schiefgegangen. Versuchen Sie es noch einmal; klappt es weiterhin nicht, ziehen Sie den Player ab und schließen Sie ihn wieder an.</translation>
    </message>
</context>
<context>
    <name>HAboutDlg</name>
    <message>
        <source>TuneDeck</source>
        <translation>TuneDeck</translation>
    </message>
    <message>
        <source>TuneDeck Version 1.94 - 2</source>
        <translation>TuneDeck Version 1.94 - 2</translation>
    </message>
    <message>
        <source>(Build Number #57)</source>
        <translation>(Build-Nummer #57)</translation>
    </message>
    <message>
        <source>TuneDeck for Linux %1: music and recordings manager for ZVC450 players</source>
        <translation>TuneDeck für Linux %1: Musik- und Aufnahmeverwaltung für ZVC450-Player</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>HConfigDlg</name>
    <message>
        <source>Automatic</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Lower than v1.20</source>
        <translation>Älter als v1.20</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Receiving Timeout [ms] :</source>
        <translation>Empfangs-Zeitlimit [ms]:</translation>
    </message>
    <message>
        <source>(Recomend : 300,000)</source>
        <translation>(Empfohlen: 300.000)</translation>
    </message>
    <message>
        <source>Transmission Timeout [ms] :</source>
        <translation>Sende-Zeitlimit [ms]:</translation>
    </message>
    <message>
        <source>(Recomend : 100,000)</source>
        <translation>(Empfohlen: 100.000)</translation>
    </message>
    <message>
        <source>Formating Timeout [ms] :</source>
        <translation>Formatier-Zeitlimit [ms]:</translation>
    </message>
    <message>
        <source>(Recomend : 3,000,000)</source>
        <translation>(Empfohlen: 3.000.000)</translation>
    </message>
    <message>
        <source>Verify copies to the player</source>
        <translation>Kopien auf dem Player überprüfen</translation>
    </message>
    <message>
        <source>ROM writing in MDS</source>
        <translation>ROM im MDS schreiben</translation>
    </message>
    <message>
        <source>ROM writing in stand-alone mode</source>
        <translation>ROM im Einzelbetrieb schreiben</translation>
    </message>
    <message>
        <source>Convert to WAV</source>
        <translation>In WAV umwandeln</translation>
    </message>
    <message>
        <source>Download Binary Brightfen ADPCM (BCW)</source>
        <translation>Brightfen-ADPCM (BCW) unverändert übertragen</translation>
    </message>
    <message>
        <source>Download Binary Brightfen BVF</source>
        <translation>Brightfen-BVF unverändert übertragen</translation>
    </message>
    <message>
        <source>Browse &gt;&gt;</source>
        <translation>Durchsuchen &gt;&gt;</translation>
    </message>
    <message>
        <source>File Name to Save :</source>
        <translation>Speichern unter:</translation>
    </message>
    <message>
        <source>Viewer Link :</source>
        <translation>Anzeigeprogramm:</translation>
    </message>
    <message>
        <source>Block Address Range :</source>
        <translation>Blockadressbereich:</translation>
    </message>
    <message>
        <source>Addr :</source>
        <translation>Adresse:</translation>
    </message>
    <message>
        <source>Count :</source>
        <translation>Anzahl:</translation>
    </message>
    <message>
        <source>Select Expected Firmware Version :</source>
        <translation>Erwartete Firmware-Version:</translation>
    </message>
    <message>
        <source>User Specific VID &amp;&amp; PID : (hex only) (clear = 0)</source>
        <translation>Eigene VID &amp;&amp; PID: (nur hexadezimal) (leer = 0)</translation>
    </message>
    <message>
        <source>VID :</source>
        <translation>VID:</translation>
    </message>
    <message>
        <source>PID :</source>
        <translation>PID:</translation>
    </message>
    <message>
        <source>Use Internal Flash Only</source>
        <translation>Nur internen Flash-Speicher verwenden</translation>
    </message>
    <message>
        <source>%1: &quot;%2&quot; is %3. The old value %4 is kept.</source>
        <translation>%1: „%2“ ist %3. Der bisherige Wert %4 bleibt.</translation>
    </message>
    <message>
        <source>not a whole number of milliseconds from %1 to %2</source>
        <translation>keine ganze Zahl von Millisekunden zwischen %1 und %2</translation>
    </message>
    <message>
        <source>Receiving Timeout</source>
        <translation>Empfangs-Zeitlimit</translation>
    </message>
    <message>
        <source>Transmission Timeout</source>
        <translation>Sende-Zeitlimit</translation>
    </message>
    <message>
        <source>Formating Timeout</source>
        <translation>Formatier-Zeitlimit</translation>
    </message>
    <message>
        <source>not four hexadecimal digits (an empty field means none)</source>
        <translation>keine vier Hexadezimalziffern (ein leeres Feld heißt: keine)</translation>
    </message>
    <message>
        <source>VID</source>
        <translation>VID</translation>
    </message>
    <message>
        <source>PID</source>
        <translation>PID</translation>
    </message>
    <message>
        <source>Data File (*.dat)</source>
        <translation>Datendatei (*.dat)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Executable File (*.exe)</source>
        <translation>Ausführbare Datei (*.exe)</translation>
    </message>
</context>
<context>
    <name>HDesktopView</name>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Up One Level</source>
        <translation>Eine Ebene nach oben</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>Drive (%1)</source>
        <translation>Laufwerk (%1)</translation>
    </message>
    <message>
        <source>Up One Level (Backspace)</source>
        <translation>Eine Ebene nach oben (Rücktaste)</translation>
    </message>
    <message>
        <source>Files on this computer</source>
        <translation>Dateien auf diesem Computer</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>&quot;%1&quot; cannot be a file name: a name cannot contain &quot;/&quot; or be &quot;.&quot; or &quot;..&quot;.</source>
        <translation>„%1“ kann kein Dateiname sein: Ein Name darf kein „/“ enthalten und nicht „.“ oder „..“ sein.</translation>
    </message>
</context>
<context>
    <name>HDiskInfoDlg</name>
    <message>
        <source>Good</source>
        <translation>In Ordnung</translation>
    </message>
    <message>
        <source>Invalid</source>
        <translation>Ungültig</translation>
    </message>
    <message>
        <source>Disk Medium Information</source>
        <translation>Informationen zum Speichermedium</translation>
    </message>
    <message>
        <source>Medium Info</source>
        <translation>Medium</translation>
    </message>
    <message>
        <source>Device I/O Status :</source>
        <translation>Ein-/Ausgabestatus:</translation>
    </message>
    <message>
        <source>Medium Type :</source>
        <translation>Medientyp:</translation>
    </message>
    <message>
        <source>Total Block Count :</source>
        <translation>Blöcke gesamt:</translation>
    </message>
    <message>
        <source>Used Block Count :</source>
        <translation>Belegte Blöcke:</translation>
    </message>
    <message>
        <source>Physical Block Count :</source>
        <translation>Physische Blöcke:</translation>
    </message>
    <message>
        <source>Bad Block Count :</source>
        <translation>Fehlerhafte Blöcke:</translation>
    </message>
    <message>
        <source>File System Info</source>
        <translation>Dateisystem</translation>
    </message>
    <message>
        <source>FAT Status :</source>
        <translation>FAT-Status:</translation>
    </message>
    <message>
        <source>FAT Type :</source>
        <translation>FAT-Typ:</translation>
    </message>
    <message>
        <source>FAT Start Sector :</source>
        <translation>FAT-Startsektor:</translation>
    </message>
    <message>
        <source>FAT Sector Count :</source>
        <translation>FAT-Sektoren:</translation>
    </message>
    <message>
        <source>Root Start Sector :</source>
        <translation>Startsektor des Stammverzeichnisses:</translation>
    </message>
    <message>
        <source>Root Entry Count :</source>
        <translation>Einträge im Stammverzeichnis:</translation>
    </message>
    <message>
        <source>Geometry :</source>
        <translation>Geometrie:</translation>
    </message>
    <message>
        <source>Total File Count :</source>
        <translation>Dateien gesamt:</translation>
    </message>
    <message>
        <source>Unknown Medium</source>
        <translation>Unbekanntes Medium</translation>
    </message>
    <message>
        <source>Unknown</source>
        <translation>Unbekannt</translation>
    </message>
    <message>
        <source>%1 (bytes/sector)</source>
        <translation>%1 (Byte/Sektor)</translation>
    </message>
    <message>
        <source>%1 (sectors/cluster)</source>
        <translation>%1 (Sektoren/Cluster)</translation>
    </message>
    <message>
        <source>%1 (clusters/block)</source>
        <translation>%1 (Cluster/Block)</translation>
    </message>
</context>
<context>
    <name>HFileTypes</name>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
</context>
<context>
    <name>HFolder</name>
    <message>
        <source>Drive</source>
        <translation>Laufwerk</translation>
    </message>
</context>
<context>
    <name>HFontInfoDlg</name>
    <message>
        <source>ZVC450 LCD Font Information</source>
        <translation>ZVC450-LCD-Schriftinformationen</translation>
    </message>
    <message>
        <source>Size :</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>File Name :</source>
        <translation>Dateiname:</translation>
    </message>
</context>
<context>
    <name>HMp3MemView</name>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>&amp;Up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Do&amp;wn</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>&amp;Sort By Name</source>
        <translation>Nach &amp;Namen ordnen</translation>
    </message>
    <message>
        <source>&amp;Natural Order</source>
        <translation>Natürliche Reihen&amp;folge</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>&amp;Format</source>
        <translation>Forma&amp;tieren</translation>
    </message>
    <message>
        <source>&amp;Low Level Format</source>
        <translation>Low-Level-Formatierun&amp;g</translation>
    </message>
    <message>
        <source>Ren&amp;ame</source>
        <translation>Um&amp;benennen</translation>
    </message>
    <message>
        <source>&amp;Change Directory</source>
        <translation>Ordner &amp;wechseln</translation>
    </message>
    <message>
        <source>&amp;Make Directory</source>
        <translation>Or&amp;dner anlegen</translation>
    </message>
    <message>
        <source>Make Mult&amp;iple Directory (Debug Only)</source>
        <translation>&amp;Mehrere Ordner anlegen (nur Debug)</translation>
    </message>
    <message>
        <source>Rem&amp;ove Directory</source>
        <translation>Ordner entfe&amp;rnen</translation>
    </message>
    <message>
        <source>Renam&amp;e Directory</source>
        <translation>Ordner umb&amp;enennen</translation>
    </message>
    <message>
        <source>Download Raw Da&amp;ta</source>
        <translation>Rohdaten &amp;herunterladen</translation>
    </message>
    <message>
        <source>Disk &amp;Properties</source>
        <translation>Datenträger-E&amp;igenschaften</translation>
    </message>
    <message>
        <source>,  incomplete listing (%1 of %2 files)</source>
        <translation>,  unvollständige Liste (%1 von %2 Dateien)</translation>
    </message>
    <message>
        <source>Up One Level (Backspace)</source>
        <translation>Eine Ebene nach oben (Rücktaste)</translation>
    </message>
    <message>
        <source>Up One Level</source>
        <translation>Eine Ebene nach oben</translation>
    </message>
</context>
<context>
    <name>HMultiDirDlg</name>
    <message>
        <source>Make Multiple Directory</source>
        <translation>Mehrere Ordner anlegen</translation>
    </message>
    <message>
        <source>Directory Name :</source>
        <translation>Ordnername:</translation>
    </message>
    <message>
        <source>(Use &apos;%d&apos; for Auto Indexed Directory Name)</source>
        <translation>(„%d“ wird durch eine fortlaufende Nummer ersetzt)</translation>
    </message>
    <message>
        <source>Start Index :</source>
        <translation>Startnummer:</translation>
    </message>
    <message>
        <source>Number of Directoyies :</source>
        <translation>Anzahl der Ordner:</translation>
    </message>
</context>
<context>
    <name>HProgressDlg</name>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
</context>
<context>
    <name>HTreeCtrlFolder</name>
    <message>
        <source>Desktop</source>
        <translation>Schreibtisch</translation>
    </message>
    <message>
        <source>Computer</source>
        <translation>Computer</translation>
    </message>
    <message>
        <source>Drive (%1)</source>
        <translation>Laufwerk (%1)</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Netzwerk</translation>
    </message>
    <message>
        <source>Documents</source>
        <translation>Dokumente</translation>
    </message>
</context>
<context>
    <name>Menu</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Undo	Ctrl+Z</source>
        <translation>&amp;Rückgängig	Strg+Z</translation>
    </message>
    <message>
        <source>Cu&amp;t	Ctrl+X</source>
        <translation>&amp;Ausschneiden	Strg+X</translation>
    </message>
    <message>
        <source>&amp;Copy	Ctrl+C</source>
        <translation>&amp;Kopieren	Strg+C</translation>
    </message>
    <message>
        <source>&amp;Paste	Ctrl+V</source>
        <translation>E&amp;infügen	Strg+V</translation>
    </message>
    <message>
        <source>&amp;Option</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Sort By Name</source>
        <translation>Nach &amp;Namen ordnen</translation>
    </message>
    <message>
        <source>&amp;Natural Order</source>
        <translation>Natürliche Reihen&amp;folge</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Tool Bar</source>
        <translation>&amp;Werkzeugleiste</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>&amp;Statusleiste</translation>
    </message>
    <message>
        <source>&amp;Properties</source>
        <translation>&amp;Eigenschaften</translation>
    </message>
    <message>
        <source>&amp;Tool</source>
        <translation>E&amp;xtras</translation>
    </message>
    <message>
        <source>&amp;Refresh	F5</source>
        <translation>&amp;Aktualisieren	F5</translation>
    </message>
    <message>
        <source>&amp;Format</source>
        <translation>&amp;Formatieren</translation>
    </message>
    <message>
        <source>Format &amp;Internal Memory</source>
        <translation>&amp;Internen Speicher formatieren</translation>
    </message>
    <message>
        <source>Format &amp;External Memory</source>
        <translation>&amp;Externen Speicher formatieren</translation>
    </message>
    <message>
        <source>Format &amp;All Memory</source>
        <translation>&amp;Alle Speicher formatieren</translation>
    </message>
    <message>
        <source>&amp;Low Level Format</source>
        <translation>&amp;Low-Level-Formatierung</translation>
    </message>
    <message>
        <source>Low Format  &amp;Internal Memory</source>
        <translation>&amp;Internen Speicher low-level formatieren</translation>
    </message>
    <message>
        <source>Low Format &amp;External Memeory</source>
        <translation>&amp;Externen Speicher low-level formatieren</translation>
    </message>
    <message>
        <source>Low Format &amp;All Memory</source>
        <translation>&amp;Alle Speicher low-level formatieren</translation>
    </message>
    <message>
        <source>Upgrade &amp;Application Code</source>
        <translation>Anwendungs&amp;code aktualisieren</translation>
    </message>
    <message>
        <source>Upgrade &amp;Boot Code</source>
        <translation>&amp;Bootcode aktualisieren</translation>
    </message>
    <message>
        <source>ZVC450 LCD F&amp;ont</source>
        <translation>ZVC450-LCD-&amp;Schriftart</translation>
    </message>
    <message>
        <source>&amp;Download Font</source>
        <translation>Schrift he&amp;runterladen</translation>
    </message>
    <message>
        <source>&amp;Erase Font</source>
        <translation>Schrift &amp;löschen</translation>
    </message>
    <message>
        <source>&amp;Upload Font</source>
        <translation>Schrift &amp;hochladen</translation>
    </message>
    <message>
        <source>View Font &amp;Information</source>
        <translation>Schrift&amp;informationen anzeigen</translation>
    </message>
    <message>
        <source>Download Raw &amp;Data</source>
        <translation>&amp;Rohdaten herunterladen</translation>
    </message>
    <message>
        <source>Download &amp;Interal Raw Data</source>
        <translation>&amp;Interne Rohdaten herunterladen</translation>
    </message>
    <message>
        <source>Download &amp;External Raw Data</source>
        <translation>&amp;Externe Rohdaten herunterladen</translation>
    </message>
    <message>
        <source>&amp;View Saved Raw Data File</source>
        <translation>&amp;Gespeicherte Rohdatendatei anzeigen</translation>
    </message>
    <message>
        <source>&amp;Medium Information</source>
        <translation>&amp;Medieninformationen</translation>
    </message>
    <message>
        <source>&amp;Internal Memory Info</source>
        <translation>&amp;Interner Speicher</translation>
    </message>
    <message>
        <source>&amp;External Memory Info</source>
        <translation>&amp;Externer Speicher</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About TuneDeck...</source>
        <translation>&amp;Über TuneDeck...</translation>
    </message>
    <message>
        <source>New</source>
        <translation>Neu</translation>
    </message>
    <message>
        <source>Print</source>
        <translation>Drucken</translation>
    </message>
    <message>
        <source>Cut</source>
        <translation>Ausschneiden</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>Rename</source>
        <translation>Umbenennen</translation>
    </message>
    <message>
        <source>Next Pane</source>
        <translation>Nächster Bereich</translation>
    </message>
    <message>
        <source>Previous Pane</source>
        <translation>Vorheriger Bereich</translation>
    </message>
</context>
<context>
    <name>TuneDeck</name>
    <message>
        <source>Upload From Internal Memory</source>
        <translation>Aus dem internen Speicher hochladen</translation>
    </message>
    <message>
        <source>Upload From External Memory</source>
        <translation>Aus dem externen Speicher hochladen</translation>
    </message>
    <message>
        <source>Download To Internal Memory</source>
        <translation>In den internen Speicher herunterladen</translation>
    </message>
    <message>
        <source>Download To External Memory</source>
        <translation>In den externen Speicher herunterladen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>Typ</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>Datum</translation>
    </message>
    <message>
        <source>Number</source>
        <translation>Nummer</translation>
    </message>
    <message>
        <source>Internal Memory</source>
        <translation>Interner Speicher</translation>
    </message>
    <message>
        <source>External Memory</source>
        <translation>Externer Speicher</translation>
    </message>
    <message>
        <source>Total %1%2,  Remain %3%4,  %5 File(s), %6 Directory(s)</source>
        <translation>Gesamt %1%2,  frei %3%4,  %5 Datei(en), %6 Ordner</translation>
    </message>
    <message>
        <source>Not Connected</source>
        <translation>Nicht verbunden</translation>
    </message>
    <message>
        <source>Not Formated, Total %1%2</source>
        <translation>Nicht formatiert, gesamt %1%2</translation>
    </message>
    <message>
        <source>Read Only - Total %1%2,  Remain %3%4,  %5 File(s), %6 Directory(s)</source>
        <translation>Schreibgeschützt - gesamt %1%2,  frei %3%4,  %5 Datei(en), %6 Ordner</translation>
    </message>
    <message>
        <source>New Folder</source>
        <translation>Neuer Ordner</translation>
    </message>
    <message>
        <source>Mp3 files(*.mp3)</source>
        <translation>MP3-Dateien(*.mp3)</translation>
    </message>
    <message>
        <source>All files(*.*)</source>
        <translation>Alle Dateien(*.*)</translation>
    </message>
    <message>
        <source>Confirm file deleting</source>
        <translation>Löschen bestätigen</translation>
    </message>
    <message>
        <source>Would delete file %1 ?</source>
        <translation>Die Datei %1 löschen?</translation>
    </message>
    <message>
        <source>Would you delete the selected file?</source>
        <translation>Die ausgewählten Dateien löschen?</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Formatieren</translation>
    </message>
    <message>
        <source>Low Level Format</source>
        <translation>Low-Level-Formatierung</translation>
    </message>
    <message>
        <source>All file will be deleted.
Are you sure?</source>
        <translation>Alle Dateien werden gelöscht.
Sind Sie sicher?</translation>
    </message>
    <message>
        <source>Codec Upgrade</source>
        <translation>Codec-Aktualisierung</translation>
    </message>
    <message>
        <source>Intel Hex File(*.hex)
*.hex
All Files(*.*)
*.*

</source>
        <translation>Intel-HEX-Datei(*.hex)
*.hex
Alle Dateien(*.*)
*.*

</translation>
    </message>
    <message>
        <source>Boot Code Upgrade</source>
        <translation>Bootcode-Aktualisierung</translation>
    </message>
    <message>
        <source>ROM upagde was succeeded.</source>
        <translation>Die ROM-Aktualisierung ist gelungen.</translation>
    </message>
    <message>
        <source>ROM upgrade was failed.</source>
        <translation>Die ROM-Aktualisierung ist fehlgeschlagen.</translation>
    </message>
    <message>
        <source>Bitmap font(*.fot)
*.fot
All Files(*.*)
*.*

</source>
        <translation>Bitmap-Schrift(*.fot)
*.fot
Alle Dateien(*.*)
*.*

</translation>
    </message>
    <message>
        <source>LCD UNICODE Font Download</source>
        <translation>LCD-Unicode-Schrift herunterladen</translation>
    </message>
    <message>
        <source>Please, Unplug USB connector!</source>
        <translation>Bitte ziehen Sie das USB-Kabel ab!</translation>
    </message>
    <message>
        <source>Please restart this program~</source>
        <translation>Bitte starten Sie das Programm neu.</translation>
    </message>
    <message>
        <source>Setting Timeout</source>
        <translation>Zeitlimits</translation>
    </message>
    <message>
        <source>ROM Selection</source>
        <translation>ROM-Auswahl</translation>
    </message>
    <message>
        <source>ADPCM Configuration</source>
        <translation>ADPCM-Einstellungen</translation>
    </message>
    <message>
        <source>Raw Data Read Configuration</source>
        <translation>Rohdaten lesen</translation>
    </message>
    <message>
        <source>BVF Configuration</source>
        <translation>BVF-Einstellungen</translation>
    </message>
    <message>
        <source>Firmware Version</source>
        <translation>Firmware-Version</translation>
    </message>
    <message>
        <source>TuneDeck</source>
        <translation>TuneDeck</translation>
    </message>
    <message>
        <source>ZVC450 is not Connected.</source>
        <translation>Der ZVC450 ist nicht verbunden.</translation>
    </message>
    <message>
        <source>BRIGHTFEN ZVC450 FILE SYSTEM JAN 30 2002 99:99:99 9.9 ???</source>
        <translation>BRIGHTFEN ZVC450 FILE SYSTEM JAN 30 2002 99:99:99 9.9 ???</translation>
    </message>
    <message>
        <source>Unknown Firmware Version</source>
        <translation>Unbekannte Firmware-Version</translation>
    </message>
    <message>
        <source>CAP</source>
        <translation>CAP</translation>
    </message>
    <message>
        <source>NUM</source>
        <translation>NUM</translation>
    </message>
    <message>
        <source>SCRL</source>
        <translation>SCRL</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Cannot download/upload the directory.</source>
        <translation>Ordner können nicht übertragen werden.</translation>
    </message>
    <message>
        <source>Already exist the file.
Will you overwrite?</source>
        <translation>Die Datei ist schon vorhanden.
Überschreiben?</translation>
    </message>
    <message>
        <source>The copy of %1 on the player differs from the file at byte %2.
It was removed from the player.</source>
        <translation>Die Kopie von %1 auf dem Player weicht ab Byte %2 von der Datei ab.
Sie wurde vom Player entfernt.</translation>
    </message>
    <message>
        <source>The player does not list the copy of %1, so it cannot be verified.</source>
        <translation>Der Player führt die Kopie von %1 nicht auf; sie kann nicht überprüft werden.</translation>
    </message>
    <message>
        <source>The copy of %1 did not reach the player whole.
The incomplete file %2 was deleted from the player.</source>
        <translation>%1 ist nicht vollständig auf dem Player angekommen.
Die unvollständige Datei %2 wurde vom Player gelöscht.</translation>
    </message>
    <message>
        <source>The copy of %1 did not reach the player whole.
The incomplete file %2 may still be on the player: delete it there once the player answers again.</source>
        <translation>%1 ist nicht vollständig auf dem Player angekommen.
Die unvollständige Datei %2 ist vielleicht noch auf dem Player: Löschen Sie sie dort, sobald der Player wieder antwortet.</translation>
    </message>
    <message>
        <source>The player was busy with another operation.
What was asked of it meanwhile was not done; please try again.</source>
        <translation>Der Player war mit einem anderen Vorgang beschäftigt.
Was währenddessen verlangt wurde, ist nicht geschehen; bitte versuchen Sie es noch einmal.</translation>
    </message>
    <message>
        <source>Raw Data Filename or Range was not specified.</source>
        <translation>Dateiname oder Bereich der Rohdaten ist nicht angegeben.</translation>
    </message>
    <message>
        <source>Raw Data Range was exceeded.</source>
        <translation>Der Rohdatenbereich ist überschritten.</translation>
    </message>
    <message>
        <source>Put the files of this directory in order by name?
The player plays them in this order.</source>
        <translation>Die Dateien dieses Ordners nach Namen ordnen?
Der Player spielt sie in dieser Reihenfolge.</translation>
    </message>
    <message>
        <source>Put the files of this directory in natural order, numbers by their value (2 before 10)?
The player plays them in this order.</source>
        <translation>Die Dateien dieses Ordners in natürliche Reihenfolge bringen, Zahlen nach ihrem Wert (2 vor 10)?
Der Player spielt sie in dieser Reihenfolge.</translation>
    </message>
    <message>
        <source>No sound was found in the recording &quot;%1&quot;:
%2 is empty.</source>
        <translation>In der Aufnahme „%1“ war kein Ton:
%2 ist leer.</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>... und %1 weitere</translation>
    </message>
    <message>
        <source>The player cannot store the character %1 in a name:</source>
        <translation>Der Player kann das Zeichen %1 nicht in einem Namen speichern:</translation>
    </message>
    <message>
        <source>The player cannot store the characters %1 in a name:</source>
        <translation>Der Player kann die Zeichen %1 nicht in einem Namen speichern:</translation>
    </message>
    <message>
        <source>Store the copy with &quot;_&quot; in its place?
(No leaves this file out, Cancel sends nothing.)</source>
        <translation>Die Kopie speichern und das Zeichen durch „_“ ersetzen?
(Nein lässt diese Datei aus, Abbrechen sendet nichts.)</translation>
    </message>
    <message>
        <source>Store the copy with &quot;_&quot; in their place?
(No leaves this file out, Cancel sends nothing.)</source>
        <translation>Die Kopie speichern und die Zeichen durch „_“ ersetzen?
(Nein lässt diese Datei aus, Abbrechen sendet nichts.)</translation>
    </message>
    <message>
        <source>Store the copies with &quot;_&quot; in its place?
(No leaves these files out, Cancel sends nothing.)</source>
        <translation>Die Kopien speichern und das Zeichen durch „_“ ersetzen?
(Nein lässt diese Dateien aus, Abbrechen sendet nichts.)</translation>
    </message>
    <message>
        <source>Store the copies with &quot;_&quot; in their place?
(No leaves these files out, Cancel sends nothing.)</source>
        <translation>Die Kopien speichern und die Zeichen durch „_“ ersetzen?
(Nein lässt diese Dateien aus, Abbrechen sendet nichts.)</translation>
    </message>
    <message>
        <source>The image is empty.</source>
        <translation>Das Abbild ist leer.</translation>
    </message>
    <message>
        <source>The image has %1 bytes; the boot area holds at most %2.</source>
        <translation>Das Abbild hat %1 Byte; der Bootbereich fasst höchstens %2.</translation>
    </message>
    <message>
        <source>The image has %1 bytes; the application area holds at most %2.</source>
        <translation>Das Abbild hat %1 Byte; der Anwendungsbereich fasst höchstens %2.</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <comment>the last of several characters</comment>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>, </source>
        <comment>between characters</comment>
        <translation>, </translation>
    </message>
    <message>
        <source>&quot;.&quot; and &quot;..&quot; stand for a folder itself and the one above it; they cannot be names.</source>
        <translation>„.“ und „..“ stehen für einen Ordner selbst und den darüber; sie können keine Namen sein.</translation>
    </message>
    <message>
        <source>A name cannot be blank.</source>
        <translation>Ein Name darf nicht leer sein.</translation>
    </message>
    <message>
        <source>The player cannot store the character %1 in a name.</source>
        <translation>Der Player kann das Zeichen %1 nicht in einem Namen speichern.</translation>
    </message>
    <message>
        <source>The player cannot store the characters %1 in a name.</source>
        <translation>Der Player kann die Zeichen %1 nicht in einem Namen speichern.</translation>
    </message>
    <message>
        <source>A name on the player cannot end in a dot or a space.</source>
        <translation>Ein Name auf dem Player darf nicht auf einen Punkt oder ein Leerzeichen enden.</translation>
    </message>
    <message>
        <source>The file will be moved to the trash.</source>
        <translation>Die Datei wird in den Papierkorb verschoben.</translation>
    </message>
    <message>
        <source>The files will be moved to the trash.</source>
        <translation>Die Dateien werden in den Papierkorb verschoben.</translation>
    </message>
    <message>
        <source>The file will be deleted for good: it cannot be recovered.</source>
        <translation>Die Datei wird endgültig gelöscht und kann nicht wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>The files will be deleted for good: they cannot be recovered.</source>
        <translation>Die Dateien werden endgültig gelöscht und können nicht wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>The player has no trash: deleted files cannot be recovered.</source>
        <translation>Der Player hat keinen Papierkorb: Gelöschte Dateien können nicht wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>%1 cannot be moved to the trash.
Delete it for good? It cannot be recovered.</source>
        <translation>%1 kann nicht in den Papierkorb verschoben werden.
Endgültig löschen? Die Datei kann nicht wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>The files on the clipboard were copied in %1 on the player, which its pane no longer shows.
Open that directory on the player and paste again.</source>
        <translation>Die Dateien in der Zwischenablage wurden im Ordner %1 des Players kopiert, den sein Bereich nicht mehr zeigt.
Öffnen Sie diesen Ordner auf dem Player und fügen Sie erneut ein.</translation>
    </message>
    <message>
        <source>The files on the clipboard are no longer on the player.</source>
        <translation>Die Dateien in der Zwischenablage sind nicht mehr auf dem Player.</translation>
    </message>
</context>
<context>
    <name>ZVC450USB</name>
    <message>
        <source>Uploading...</source>
        <translation>Wird hochgeladen...</translation>
    </message>
    <message>
        <source>Downloading</source>
        <translation>Wird heruntergeladen</translation>
    </message>
    <message>
        <source>Formating...</source>
        <translation>Wird formatiert...</translation>
    </message>
    <message>
        <source>Low Level Formating...</source>
        <translation>Low-Level-Formatierung läuft...</translation>
    </message>
    <message>
        <source>Font Uploading...</source>
        <translation>Schrift wird hochgeladen...</translation>
    </message>
    <message>
        <source>Font Downloading....</source>
        <translation>Schrift wird heruntergeladen....</translation>
    </message>
    <message>
        <source>Boot Code Upgrade</source>
        <translation>Bootcode-Aktualisierung</translation>
    </message>
    <message>
        <source>Codec Upgrade</source>
        <translation>Codec-Aktualisierung</translation>
    </message>
    <message>
        <source>Boot Area Erasing...</source>
        <translation>Bootbereich wird gelöscht...</translation>
    </message>
    <message>
        <source>Codec Area Erasing...</source>
        <translation>Codec-Bereich wird gelöscht...</translation>
    </message>
    <message>
        <source>Wait about 20 seconds....</source>
        <translation>Bitte etwa 20 Sekunden warten....</translation>
    </message>
    <message>
        <source>Converting... (BVF -&gt; WAV)</source>
        <translation>Wird umgewandelt... (BVF -&gt; WAV)</translation>
    </message>
    <message>
        <source>Verifying...</source>
        <translation>Wird überprüft...</translation>
    </message>
    <message>
        <source>Deleting...</source>
        <translation>Wird gelöscht...</translation>
    </message>
    <message>
        <source>Format</source>
        <translation>Formatieren</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Speed</source>
        <translation>Geschwindigkeit</translation>
    </message>
</context>
</TS>
