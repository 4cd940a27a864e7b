<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AboutController</name>
    <message>
        <source>Version %1 </source>
        <translation>Version %1 </translation>
    </message>
    <message>
        <source>Build %1 </source>
        <translation>Build %1 </translation>
    </message>
</context>
<context>
    <name>AboutWindow</name>
    <message>
        <source>About Reelfinch</source>
        <translation>Über Reelfinch</translation>
    </message>
    <message>
        <source>Reelfinch</source>
        <translation>Reelfinch</translation>
    </message>
    <message>
        <source>Reelfinch is free software. Click anywhere to close this window.</source>
        <translation>Reelfinch ist freie Software. Ein Klick irgendwohin schließt dieses Fenster.</translation>
    </message>
    <message>
        <source>reelfinch@example.org</source>
        <translation>reelfinch@example.org</translation>
    </message>
</context>
<context>
    <name>AdvancedController</name>
    <message>
        <source>#</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Movie</source>
        <translation>Film</translation>
    </message>
    <message>
        <source>Description</source>
        <translation>Beschreibung</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Wert</translation>
    </message>
    <message>
        <source>Add files to Playlist</source>
        <translation>Dateien zur Wiedergabeliste hinzufügen</translation>
    </message>
    <message>
        <source>Remove the selected files from Playlist</source>
        <translation>Die ausgewählten Dateien aus der Wiedergabeliste entfernen</translation>
    </message>
    <message>
        <source>Turn shuffle on or off</source>
        <translation>Zufallswiedergabe ein- oder ausschalten</translation>
    </message>
    <message>
        <source>Play playlist once, repeat playlist, or repeat song</source>
        <translation>Wiedergabeliste einmal abspielen, Wiedergabeliste wiederholen oder Titel wiederholen</translation>
    </message>
    <message>
        <source>byte</source>
        <translation>Byte</translation>
    </message>
    <message>
        <source>kilobyte</source>
        <translation>Kilobyte</translation>
    </message>
    <message>
        <source>megabyte</source>
        <translation>Megabyte</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>N/A</source>
        <translation>k. A.</translation>
    </message>
    <message>
        <source>Repeat movie</source>
        <translation>Film wiederholen</translation>
    </message>
    <message>
        <source>Play once</source>
        <translation>Einmal abspielen</translation>
    </message>
    <message>
        <source>Repeat all</source>
        <translation>Alle wiederholen</translation>
    </message>
    <message>
        <source>Shuffle</source>
        <translation>Zufall</translation>
    </message>
    <message>
        <source>In order</source>
        <translation>Der Reihe nach</translation>
    </message>
</context>
<context>
    <name>AdvancedWindow</name>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Movie Info</source>
        <translation>Filminfo</translation>
    </message>
</context>
<context>
    <name>ControlsController</name>
    <message>
        <source>No sound output</source>
        <translation>Keine Tonausgabe</translation>
    </message>
    <message>
        <source>No sound output is available</source>
        <translation>Es ist keine Tonausgabe verfügbar</translation>
    </message>
    <message>
        <source>Display brief information about Reelfinch</source>
        <translation>Kurze Informationen über Reelfinch anzeigen</translation>
    </message>
    <message>
        <source>Display SWF Info</source>
        <translation>SWF-Informationen anzeigen</translation>
    </message>
    <message>
        <source>Toggle playlist on/off</source>
        <translation>Wiedergabeliste ein-/ausblenden</translation>
    </message>
    <message>
        <source>Resize movie to original window size</source>
        <translation>Film auf Originalgröße bringen</translation>
    </message>
    <message>
        <source>Fit to the window</source>
        <translation>In das Fenster einpassen</translation>
    </message>
    <message>
        <source>Toggle movie dragging on/off</source>
        <translation>Verschieben des Films ein-/ausschalten</translation>
    </message>
    <message>
        <source>Zoom %1 %</source>
        <translation>Zoom %1 %</translation>
    </message>
    <message>
        <source>Volume %1 %</source>
        <translation>Lautstärke %1 %</translation>
    </message>
    <message>
        <source>%1/%2</source>
        <translation>%1/%2</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
</context>
<context>
    <name>ControlsWindow</name>
    <message>
        <source>Movie Controls</source>
        <translation>Filmsteuerung</translation>
    </message>
    <message>
        <source>Previous</source>
        <translation>Zurück</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Bild zurück</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Forward</source>
        <translation>Bild vor</translation>
    </message>
    <message>
        <source>Next</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Repeat</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Shuffle</source>
        <translation>Zufall</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Wiedergabeliste</translation>
    </message>
    <message>
        <source>Info</source>
        <translation>Info</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Zoom Area</source>
        <translation>Zoombereich</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>Einpassen</translation>
    </message>
    <message>
        <source>Move</source>
        <translation>Verschieben</translation>
    </message>
</context>
<context>
    <name>MainMenu</name>
    <message>
        <source>&amp;Save Frame as Picture...</source>
        <translation>Bild als Grafik &amp;sichern...</translation>
    </message>
    <message>
        <source>&amp;Trace Output</source>
        <translation>&amp;Trace-Ausgabe</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>Ö&amp;ffnen …</translation>
    </message>
    <message>
        <source>&amp;Add Files to Playlist...</source>
        <translation>Dateien zur Wiedergabeliste &amp;hinzufügen …</translation>
    </message>
    <message>
        <source>Clear Play&amp;list</source>
        <translation>Wiedergabe&amp;liste leeren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>&amp;Preferences...</source>
        <translation>&amp;Einstellungen …</translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Playback</source>
        <translation>&amp;Wiedergabe</translation>
    </message>
    <message>
        <source>Play/Pause</source>
        <translation>Wiedergabe/Pause</translation>
    </message>
    <message>
        <source>&amp;Rewind</source>
        <translation>An den &amp;Anfang</translation>
    </message>
    <message>
        <source>Frame &amp;Forward</source>
        <translation>Bild &amp;vor</translation>
    </message>
    <message>
        <source>Frame &amp;Back</source>
        <translation>Bild &amp;zurück</translation>
    </message>
    <message>
        <source>&amp;Next Movie</source>
        <translation>&amp;Nächster Film</translation>
    </message>
    <message>
        <source>Pre&amp;vious Movie</source>
        <translation>Vo&amp;rheriger Film</translation>
    </message>
    <message>
        <source>&amp;Quality</source>
        <translation>&amp;Qualität</translation>
    </message>
    <message>
        <source>&amp;Low</source>
        <translation>&amp;Niedrig</translation>
    </message>
    <message>
        <source>&amp;Medium</source>
        <translation>&amp;Mittel</translation>
    </message>
    <message>
        <source>&amp;High</source>
        <translation>&amp;Hoch</translation>
    </message>
    <message>
        <source>&amp;Actual Size</source>
        <translation>&amp;Originalgröße</translation>
    </message>
    <message>
        <source>Fi&amp;t to Window</source>
        <translation>In Fenster &amp;einpassen</translation>
    </message>
    <message>
        <source>Movie &amp;Dragging</source>
        <translation>Film &amp;verschieben</translation>
    </message>
    <message>
        <source>&amp;Window</source>
        <translation>&amp;Fenster</translation>
    </message>
    <message>
        <source>&amp;Minimize</source>
        <translation>&amp;Minimieren</translation>
    </message>
    <message>
        <source>&amp;Zoom</source>
        <translation>&amp;Zoomen</translation>
    </message>
    <message>
        <source>&amp;Full Screen</source>
        <translation>&amp;Vollbild</translation>
    </message>
    <message>
        <source>&amp;Viewer</source>
        <translation>&amp;Betrachter</translation>
    </message>
    <message>
        <source>Hide Movie Controls</source>
        <translation>Filmsteuerung ausblenden</translation>
    </message>
    <message>
        <source>Close Zoom Drawer</source>
        <translation>Zoomschublade schließen</translation>
    </message>
    <message>
        <source>&amp;Playlist</source>
        <translation>&amp;Wiedergabeliste</translation>
    </message>
    <message>
        <source>Movie &amp;Information</source>
        <translation>Film&amp;informationen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About Reelfinch</source>
        <translation>&amp;Über Reelfinch</translation>
    </message>
    <message>
        <source>Reelfinch Optimizer on the Web</source>
        <translation>Reelfinch Optimizer im Web</translation>
    </message>
    <message>
        <source>Reelfinch Converter on the Web</source>
        <translation>Reelfinch Converter im Web</translation>
    </message>
</context>
<context>
    <name>MovieWindow</name>
    <message>
        <source>Reelfinch</source>
        <translation>Reelfinch</translation>
    </message>
</context>
<context>
    <name>PlayerController</name>
    <message>
        <source>PNG picture at the current zoom (*.png)</source>
        <translation>PNG-Bild im aktuellen Zoom (*.png)</translation>
    </message>
    <message>
        <source>PNG picture at the movie's own size (*.png)</source>
        <translation>PNG-Bild in der Originalgröße des Films (*.png)</translation>
    </message>
    <message>
        <source>%1 frame %2.png</source>
        <translation>%1 Bild %2.png</translation>
    </message>
    <message>
        <source>SWF movies (%1)</source>
        <translation>SWF-Filme (%1)</translation>
    </message>
    <message>
        <source>Close Viewer</source>
        <translation>Betrachter schließen</translation>
    </message>
    <message>
        <source>Close Advanced Options</source>
        <translation>Erweiterte Optionen schließen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Hide Movie Controls</source>
        <translation>Filmsteuerung ausblenden</translation>
    </message>
    <message>
        <source>Show Movie Controls</source>
        <translation>Filmsteuerung einblenden</translation>
    </message>
    <message>
        <source>Close Zoom Drawer</source>
        <translation>Zoomschublade schließen</translation>
    </message>
    <message>
        <source>Open Zoom Drawer</source>
        <translation>Zoomschublade öffnen</translation>
    </message>
</context>
<context>
    <name>PreferencesController</name>
    <message>
        <source>%1 sec</source>
        <translation>%1 s</translation>
    </message>
</context>
<context>
    <name>PreferencesWindow</name>
    <message>
        <source>Preferences</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>Zoom image interpolation:</source>
        <translation>Interpolation des Zoombilds:</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Standard</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>Low</source>
        <translation>Niedrig</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Zoom image update (every n events):</source>
        <translation>Zoombild aktualisieren (alle n Ereignisse):</translation>
    </message>
    <message>
        <source>Default movie quality:</source>
        <translation>Standardqualität der Filme:</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Allow movies to request web addresses</source>
        <translation>Filmen den Abruf von Webadressen erlauben</translation>
    </message>
    <message>
        <source>Enforce the movie&apos;s local-file security (next launch)</source>
        <translation>Sicherheit für lokale Dateien durchsetzen (ab nächstem Start)</translation>
    </message>
    <message>
        <source>A movie has ended when:</source>
        <translation>Ein Film ist zu Ende, wenn:</translation>
    </message>
    <message>
        <source>it reaches its last frame</source>
        <translation>er sein letztes Bild erreicht</translation>
    </message>
    <message>
        <source>its frame number goes back</source>
        <translation>seine Bildnummer zurückgeht</translation>
    </message>
    <message>
        <source>it stays on one frame for</source>
        <translation>er auf einem Bild stehen bleibt für</translation>
    </message>
    <message>
        <source>10 sec</source>
        <translation>10 s</translation>
    </message>
    <message>
        <source>Play added files at once</source>
        <translation>Hinzugefügte Dateien sofort abspielen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>TraceController</name>
    <message>
        <source>Trace Output</source>
        <translation>Trace-Ausgabe</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
</context>
</TS>
