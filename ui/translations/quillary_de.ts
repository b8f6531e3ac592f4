<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>core</name>
    <message>
        <source>1 dictionary</source>
        <translation>1 Wörterbuch</translation>
    </message>
    <message>
        <source>%1 dictionaries</source>
        <translation>%1 Wörterbücher</translation>
    </message>
    <message>
        <source>1 dictionary was found on this computer that the library does not have yet</source>
        <translation>Auf diesem Computer wurde 1 Wörterbuch gefunden, das die Bibliothek noch nicht hat</translation>
    </message>
    <message>
        <source>%1 dictionaries were found on this computer that the library does not have yet</source>
        <translation>Auf diesem Computer wurden %1 Wörterbücher gefunden, die die Bibliothek noch nicht hat</translation>
    </message>
    <message>
        <source>, and 1 has changed since it was added</source>
        <translation>, und 1 hat sich geändert, seit es hinzugefügt wurde</translation>
    </message>
    <message>
        <source>, and %1 have changed since it was added</source>
        <translation>, und %1 haben sich geändert, seit sie hinzugefügt wurden</translation>
    </message>
    <message>
        <source>.

Add them to the library? They are imported in the background.</source>
        <translation>.

Zur Bibliothek hinzufügen? Sie werden im Hintergrund importiert.</translation>
    </message>
    <message>
        <source>1 dictionary on this computer has changed since it was added to the library.

Import it again? This runs in the background.</source>
        <translation>1 Wörterbuch auf diesem Computer hat sich geändert, seit es zur Bibliothek hinzugefügt wurde.

Erneut importieren? Das geschieht im Hintergrund.</translation>
    </message>
    <message>
        <source>%1 dictionaries on this computer have changed since it was added to the library.

Import them again? This runs in the background.</source>
        <translation>%1 Wörterbücher auf diesem Computer haben sich geändert, seit sie zur Bibliothek hinzugefügt wurden.

Erneut importieren? Das geschieht im Hintergrund.</translation>
    </message>
    <message>
        <source>No dictionaries were found on this computer that the library does not have already.</source>
        <translation>Auf diesem Computer wurden keine Wörterbücher gefunden, die die Bibliothek nicht schon hat.</translation>
    </message>
    <message>
        <source>Stopping the import of dictionaries...</source>
        <translation>Der Import der Wörterbücher wird angehalten...</translation>
    </message>
    <message>
        <source>Importing %1: %2% (%3 of %4, %5). Esc stops.</source>
        <translation>Importiere %1: %2 % (%3 von %4, %5). Esc hält an.</translation>
    </message>
    <message>
        <source>%1 was added to the library</source>
        <translation>%1 wurde zur Bibliothek hinzugefügt</translation>
    </message>
    <message>
        <source>%1 were added to the library</source>
        <translation>%1 wurden zur Bibliothek hinzugefügt</translation>
    </message>
    <message>
        <source>; %1 could not be imported (%2)</source>
        <translation>; %1 konnten nicht importiert werden (%2)</translation>
    </message>
    <message>
        <source>; the import was stopped before %1</source>
        <translation>; der Import wurde vor %1 angehalten</translation>
    </message>
    <message>
        <source>.</source>
        <translation>.</translation>
    </message>
    <message>
        <source>1 byte</source>
        <translation>1 Byte</translation>
    </message>
    <message>
        <source>%1 bytes</source>
        <translation>%1 Bytes</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Checking...</source>
        <translation>Wird geprüft...</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Failed: %1</source>
        <translation>Fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Geöffnet</translation>
    </message>
    <message>
        <source>1 book</source>
        <translation>1 Buch</translation>
    </message>
    <message>
        <source>%1 books</source>
        <translation>%1 Büchern</translation>
    </message>
    <message>
        <source>Found in no book</source>
        <translation>In keinem Buch gefunden</translation>
    </message>
    <message>
        <source>Found in %1</source>
        <translation>Gefunden in %1</translation>
    </message>
    <message>
        <source>; %1 could not be asked</source>
        <translation>; in %1 konnte nicht nachgeschlagen werden</translation>
    </message>
    <message>
        <source>%1 is in none of the books that answered.</source>
        <translation>%1 steht in keinem der Bücher, die geantwortet haben.</translation>
    </message>
    <message>
        <source>Find Dictionaries</source>
        <translation>Wörterbücher suchen</translation>
    </message>
    <message>
        <source>Indexing %1%</source>
        <translation>Wird indiziert: %1%</translation>
    </message>
    <message>
        <source>Indexed</source>
        <translation>Indiziert</translation>
    </message>
    <message>
        <source>Not indexed</source>
        <translation>Nicht indiziert</translation>
    </message>
    <message>
        <source>Indexing %1: %2%</source>
        <translation>Indiziere %1: %2%</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Reads Quillary books (.ql): lists the subjects, shows each record, follows links, finds, and keeps bookmarks in the book.</source>
        <translation>Liest Quillary-Bücher (.ql): listet die Stichwörter, zeigt jeden Eintrag, folgt Verweisen, sucht und bewahrt Lesezeichen im Buch.</translation>
    </message>
    <message>
        <source>book</source>
        <translation>buch</translation>
    </message>
    <message>
        <source>the books to open (.ql); the first is shown</source>
        <translation>die zu öffnenden Bücher (.ql); das erste wird gezeigt</translation>
    </message>
    <message>
        <source>[book...]</source>
        <translation>[buch...]</translation>
    </message>
    <message>
        <source>Look word up as the lookup line does.</source>
        <translation>Schlägt wort nach wie die Nachschlagezeile.</translation>
    </message>
    <message>
        <source>word</source>
        <translation>wort</translation>
    </message>
    <message>
        <source>Look the selected text (else the clipboard&apos;s) up in QuickPeek.</source>
        <translation>Schlägt den markierten Text (sonst den der Zwischenablage) in QuickPeek nach.</translation>
    </message>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
</context>
<context>
    <name>messages</name>
    <message>
        <source>Import failed</source>
        <translation>Import fehlgeschlagen</translation>
    </message>
    <message>
        <source>%1:
%2</source>
        <translation>%1:
%2</translation>
    </message>
    <message>
        <source>%1: is the book that is open; choose another file</source>
        <translation>%1: ist das geöffnete Buch; wählen Sie eine andere Datei</translation>
    </message>
    <message>
        <source>Could not save the bookmarks</source>
        <translation>Die Lesezeichen konnten nicht gespeichert werden</translation>
    </message>
    <message>
        <source>
The book stays open.</source>
        <translation>
Das Buch bleibt geöffnet.</translation>
    </message>
    <message>
        <source>No entry was found in %1.
%2 was left as it was.</source>
        <translation>In %1 wurde kein Eintrag gefunden.
%2 blieb, wie es war.</translation>
    </message>
    <message>
        <source>%1 was read as UTF-8 and stored as Windows-1252.
</source>
        <translation>%1 wurde als UTF-8 gelesen und als Windows-1252 gespeichert.
</translation>
    </message>
    <message>
        <source>Upgrade failed</source>
        <translation>Aktualisierung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Text export failed</source>
        <translation>Textexport fehlgeschlagen</translation>
    </message>
    <message>
        <source>The text was written, but not all of the book is in it</source>
        <translation>Der Text wurde geschrieben, enthält aber nicht das ganze Buch</translation>
    </message>
    <message>
        <source>Text files (*.txt)|*.txt||</source>
        <translation>Textdateien (*.txt)|*.txt||</translation>
    </message>
    <message>
        <source>Import results</source>
        <translation>Importergebnis</translation>
    </message>
    <message>
        <source>First open a Quillary Version 1 file then select &apos;Upgrade&apos;</source>
        <translation>Öffnen Sie zuerst eine Quillary-Datei der Version 1 und wählen Sie dann „Aktualisieren“</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>the new book has %1 subjects instead of %2</source>
        <translation>das neue Buch hat %1 Stichwörter statt %2</translation>
    </message>
    <message>
        <source>subject %1 differs in the new book</source>
        <translation>Stichwort %1 weicht im neuen Buch ab</translation>
    </message>
    <message>
        <source>record %1 could not be read back</source>
        <translation>Eintrag %1 konnte nicht zurückgelesen werden</translation>
    </message>
    <message>
        <source>record %1 differs in the new book</source>
        <translation>Eintrag %1 weicht im neuen Buch ab</translation>
    </message>
    <message>
        <source>bookmark %1 differs in the new book</source>
        <translation>Lesezeichen %1 weicht im neuen Buch ab</translation>
    </message>
    <message>
        <source>the new book does not open: </source>
        <translation>das neue Buch lässt sich nicht öffnen: </translation>
    </message>
    <message>
        <source>the bookmarks could not be written: </source>
        <translation>die Lesezeichen konnten nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>cannot find the book&apos;s file: </source>
        <translation>die Datei des Buchs ist nicht zu finden: </translation>
    </message>
    <message>
        <source>Could not upgrade %1:
%2
The book is unchanged.</source>
        <translation>%1 konnte nicht aktualisiert werden:
%2
Das Buch ist unverändert.</translation>
    </message>
    <message>
        <source>Could not open %1: %2</source>
        <translation>%1 konnte nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>%1: %2; it is open read-only here, and bookmarks made here are not saved</source>
        <translation>%1: %2; es ist hier nur zum Lesen geöffnet, und hier gesetzte Lesezeichen werden nicht gespeichert</translation>
    </message>
    <message>
        <source>cannot create a file beside it: </source>
        <translation>daneben kann keine Datei angelegt werden: </translation>
    </message>
    <message>
        <source>the new book could not be written: </source>
        <translation>das neue Buch konnte nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>cannot replace the old file: </source>
        <translation>die alte Datei kann nicht ersetzt werden: </translation>
    </message>
    <message>
        <source>Quillary files (*.ql)|*.ql||</source>
        <translation>Quillary-Dateien (*.ql)|*.ql||</translation>
    </message>
    <message>
        <source>Copy file from CD to Hard-drive?</source>
        <translation>Datei von der CD auf die Festplatte kopieren?</translation>
    </message>
    <message>
        <source>The file you are opening is stored on a CDROM. Although Quillary can view files stored on CDROMs its operation will be noticeably slower on large files and you will not be able to save recorded Bookmarks.

Would you like to copy this file to your hard-drive and open it from there?</source>
        <translation>Die Datei, die Sie öffnen, liegt auf einer CD-ROM. Quillary kann Dateien auf CD-ROMs zeigen, arbeitet bei großen Dateien aber merklich langsamer, und gesetzte Lesezeichen lassen sich nicht speichern.

Möchten Sie die Datei auf Ihre Festplatte kopieren und von dort öffnen?</translation>
    </message>
    <message>
        <source>Could not save file.
Opening from CD.</source>
        <translation>Die Datei konnte nicht gespeichert werden.
Sie wird von der CD geöffnet.</translation>
    </message>
    <message>
        <source>Upgrade file?</source>
        <translation>Datei aktualisieren?</translation>
    </message>
    <message>
        <source>The file you have opened is in the old Quillary version 1 file format.
Upgrading the file will save space on your hard drive.
Upgrading may take a little time but only has to be done once for each file.
It is recommended that you upgrade.</source>
        <translation>Die geöffnete Datei hat das alte Dateiformat der Quillary-Version 1.
Die Aktualisierung spart Platz auf Ihrer Festplatte.
Sie kann etwas dauern, ist aber für jede Datei nur einmal nötig.
Es wird empfohlen, die Datei zu aktualisieren.</translation>
    </message>
    <message>
        <source>not a Quillary book</source>
        <translation>kein Quillary-Buch</translation>
    </message>
    <message>
        <source>cannot open the book (it is in use by another program, or damaged)</source>
        <translation>das Buch kann nicht geöffnet werden (ein anderes Programm benutzt es, oder es ist beschädigt)</translation>
    </message>
    <message>
        <source>another Quillary has the book open for writing</source>
        <translation>ein anderes Quillary hat das Buch zum Schreiben geöffnet</translation>
    </message>
    <message>
        <source>the book&apos;s version (%1) or one of its chunks is not supported</source>
        <translation>die Version des Buchs (%1) oder einer seiner Abschnitte wird nicht unterstützt</translation>
    </message>
    <message>
        <source>is a directory</source>
        <translation>ist ein Ordner</translation>
    </message>
    <message>
        <source>cannot add the bookmark block to the book: %1 (the book was left as it was)</source>
        <translation>der Lesezeichenblock kann dem Buch nicht hinzugefügt werden: %1 (das Buch blieb, wie es war)</translation>
    </message>
    <message>
        <source>disk full</source>
        <translation>Datenträger voll</translation>
    </message>
    <message>
        <source>Export failed</source>
        <translation>Export fehlgeschlagen</translation>
    </message>
    <message>
        <source>Palm database files (*.pdb)|*.pdb||</source>
        <translation>Palm-Datenbankdateien (*.pdb)|*.pdb||</translation>
    </message>
    <message>
        <source>Next time you perform a HotSync operation,
this file will be installed on your handheld.</source>
        <translation>Beim nächsten HotSync-Vorgang
wird diese Datei auf Ihrem Handheld installiert.</translation>
    </message>
    <message>
        <source>There is a problem with file installation.
Please refer to user manual.</source>
        <translation>Bei der Installation der Datei gibt es ein Problem.
Bitte lesen Sie im Handbuch nach.</translation>
    </message>
    <message>
        <source>Entries merged into the record of the same headword</source>
        <translation>Einträge, die mit dem Eintrag desselben Stichworts zusammengeführt wurden</translation>
    </message>
    <message>
        <source>Entries left out of a record that reached the largest size a book allows</source>
        <translation>Ausgelassene Einträge eines Eintrags, der die größte Länge erreichte, die ein Buch erlaubt</translation>
    </message>
    <message>
        <source>Fields left out (pictures, sounds and other kinds a record cannot show)</source>
        <translation>Ausgelassene Felder (Bilder, Klänge und andere Arten, die ein Eintrag nicht zeigen kann)</translation>
    </message>
    <message>
        <source>Headwords whose line breaks became spaces</source>
        <translation>Stichwörter, deren Zeilenumbrüche zu Leerzeichen wurden</translation>
    </message>
    <message>
        <source>: the import failed: </source>
        <translation>: der Import ist fehlgeschlagen: </translation>
    </message>
    <message>
        <source>; no book was written</source>
        <translation>; es wurde kein Buch geschrieben</translation>
    </message>
    <message>
        <source>Number of subjects:   	%1
File sorted status:       	</source>
        <translation>Anzahl der Stichwörter:	%1
Datei sortiert:	</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>No
Sorted check failed at subject: </source>
        <translation>Nein
Die Sortierprüfung schlug fehl bei Stichwort: </translation>
    </message>
    <message>
        <source>Book version:	2002 (UTF-8 text, nothing replaced)
Texts shared by several subjects:	%1</source>
        <translation>Buchversion:	2002 (UTF-8-Text, nichts ersetzt)
Texte, die mehrere Stichwörter teilen:	%1</translation>
    </message>
    <message>
        <source>Characters without a Windows-1252 form (written as ?):	%1</source>
        <translation>Zeichen ohne Windows-1252-Form (als ? geschrieben):	%1</translation>
    </message>
    <message>
        <source>%1: is the same file as %2; nothing was written</source>
        <translation>%1: ist dieselbe Datei wie %2; es wurde nichts geschrieben</translation>
    </message>
    <message>
        <source>record</source>
        <translation>Eintrag</translation>
    </message>
    <message>
        <source>records</source>
        <translation>Einträge</translation>
    </message>
    <message>
        <source> (damaged; written as far as they could be read)</source>
        <translation> (beschädigt; so weit geschrieben, wie sie lesbar waren)</translation>
    </message>
    <message>
        <source>: cannot write the text: </source>
        <translation>: der Text kann nicht geschrieben werden: </translation>
    </message>
    <message>
        <source>%1: the book&apos;s entries overlap (entry %2 starts inside one before it), so it is damaged; nothing was written</source>
        <translation>%1: die Einträge des Buchs überlappen sich (Eintrag %2 beginnt in einem früheren), es ist also beschädigt; es wurde nichts geschrieben</translation>
    </message>
    <message>
        <source>%1: record %2 cannot be read; nothing was written</source>
        <translation>%1: Eintrag %2 kann nicht gelesen werden; es wurde nichts geschrieben</translation>
    </message>
    <message>
        <source>no error</source>
        <translation>kein Fehler</translation>
    </message>
    <message>
        <source>out of memory for the block buffers</source>
        <translation>nicht genug Speicher für die Blockpuffer</translation>
    </message>
    <message>
        <source>out of memory for the block coder</source>
        <translation>nicht genug Speicher für den Blockkodierer</translation>
    </message>
    <message>
        <source>a file could not be read or written</source>
        <translation>eine Datei konnte nicht gelesen oder geschrieben werden</translation>
    </message>
    <message>
        <source>the book would be larger than its format allows (2 GiB of text)</source>
        <translation>das Buch würde größer, als sein Format erlaubt (2 GiB Text)</translation>
    </message>
    <message>
        <source>unknown failure</source>
        <translation>unbekannter Fehler</translation>
    </message>
    <message>
        <source>cannot create the temporary files: %1</source>
        <translation>die temporären Dateien können nicht angelegt werden: %1</translation>
    </message>
    <message>
        <source>not a gzip file</source>
        <translation>keine gzip-Datei</translation>
    </message>
    <message>
        <source>a gzip file of a kind that is not known (method or flags)</source>
        <translation>eine gzip-Datei unbekannter Art (Methode oder Flags)</translation>
    </message>
    <message>
        <source>the gzip header is cut off</source>
        <translation>der gzip-Kopf ist abgeschnitten</translation>
    </message>
    <message>
        <source>the gzip header&apos;s extra field is damaged</source>
        <translation>das Zusatzfeld des gzip-Kopfs ist beschädigt</translation>
    </message>
    <message>
        <source>the dictzip chunk table is of a version that is not known</source>
        <translation>die dictzip-Blocktabelle hat eine unbekannte Version</translation>
    </message>
    <message>
        <source>the dictzip chunk table is damaged</source>
        <translation>die dictzip-Blocktabelle ist beschädigt</translation>
    </message>
    <message>
        <source>is not a regular file</source>
        <translation>ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>the dictzip chunk table does not fit the file (it is cut off or damaged)</source>
        <translation>die dictzip-Blocktabelle passt nicht zur Datei (sie ist abgeschnitten oder beschädigt)</translation>
    </message>
    <message>
        <source>the dictzip chunk table does not agree with the length of the text</source>
        <translation>die dictzip-Blocktabelle stimmt nicht mit der Länge des Texts überein</translation>
    </message>
    <message>
        <source>cannot start inflating: out of memory</source>
        <translation>das Entpacken kann nicht beginnen: nicht genug Speicher</translation>
    </message>
    <message>
        <source>cannot write a work file for the %1 bytes of %2&apos;s text the index names: %3</source>
        <translation>für die %1 Bytes des Texts von %2, die der Index nennt, kann keine Arbeitsdatei geschrieben werden: %3</translation>
    </message>
    <message>
        <source>cannot create a work file: %1</source>
        <translation>eine Arbeitsdatei kann nicht angelegt werden: %1</translation>
    </message>
    <message>
        <source>the gzip data is damaged</source>
        <translation>die gzip-Daten sind beschädigt</translation>
    </message>
    <message>
        <source>the gzip data is cut off</source>
        <translation>die gzip-Daten sind abgeschnitten</translation>
    </message>
    <message>
        <source>cannot read a work file: %1</source>
        <translation>eine Arbeitsdatei kann nicht gelesen werden: %1</translation>
    </message>
    <message>
        <source>cannot inflate</source>
        <translation>das Entpacken ist nicht möglich</translation>
    </message>
    <message>
        <source>%1: chunk %2 of the dictzip data is damaged</source>
        <translation>%1: Block %2 der dictzip-Daten ist beschädigt</translation>
    </message>
    <message>
        <source>cannot write a work file: %1</source>
        <translation>eine Arbeitsdatei kann nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>%1: an entry runs past the end of the text (offset %2, length %3, text %4 bytes)</source>
        <translation>%1: ein Eintrag reicht über das Ende des Texts hinaus (Position %2, Länge %3, Text %4 Bytes)</translation>
    </message>
    <message>
        <source>cut off</source>
        <translation>abgeschnitten</translation>
    </message>
    <message>
        <source>is too large to be what it is named</source>
        <translation>ist zu groß für das, was sein Name verspricht</translation>
    </message>
    <message>
        <source>%1: the dictionary&apos;s text is missing: no %2.dict.dz, %2.dict or %2.dict.gz</source>
        <translation>%1: der Text des Wörterbuchs fehlt: weder %2.dict.dz noch %2.dict noch %2.dict.gz ist da</translation>
    </message>
    <message>
        <source>line %1: %2</source>
        <translation>Zeile %1: %2</translation>
    </message>
    <message>
        <source>not &quot;headword TAB offset TAB length&quot;</source>
        <translation>nicht „Stichwort TAB Position TAB Länge“</translation>
    </message>
    <message>
        <source>the offset is not a base-64 number</source>
        <translation>die Position ist keine Base-64-Zahl</translation>
    </message>
    <message>
        <source>the length is not a base-64 number</source>
        <translation>die Länge ist keine Base-64-Zahl</translation>
    </message>
    <message>
        <source>the entry runs past the end of the dictionary&apos;s text</source>
        <translation>der Eintrag reicht über das Ende des Wörterbuchtexts hinaus</translation>
    </message>
    <message>
        <source>%1: %2 (the index is damaged, or is not %3&apos;s)</source>
        <translation>%1: %2 (der Index ist beschädigt oder gehört nicht zu %3)</translation>
    </message>
    <message>
        <source>cannot open the book</source>
        <translation>das Buch kann nicht geöffnet werden</translation>
    </message>
    <message>
        <source>the book is damaged or truncated</source>
        <translation>das Buch ist beschädigt oder abgeschnitten</translation>
    </message>
    <message>
        <source>not enough memory to read the book</source>
        <translation>nicht genug Speicher, um das Buch zu lesen</translation>
    </message>
    <message>
        <source>not a book</source>
        <translation>kein Buch</translation>
    </message>
    <message>
        <source>the book&apos;s version or one of its chunks is not supported</source>
        <translation>die Version des Buchs oder einer seiner Abschnitte wird nicht unterstützt</translation>
    </message>
    <message>
        <source>the book&apos;s text passes 2 GiB, more than a handheld database can hold</source>
        <translation>der Text des Buchs übersteigt 2 GiB, mehr als eine Handheld-Datenbank fassen kann</translation>
    </message>
    <message>
        <source>cannot read the book (error %1)</source>
        <translation>das Buch kann nicht gelesen werden (Fehler %1)</translation>
    </message>
    <message>
        <source>Tagged text files (*.txt)|*.txt</source>
        <translation>Textdateien mit Tags (*.txt)|*.txt</translation>
    </message>
    <message>
        <source>Tab seperated files (*.tab)|*.tab</source>
        <translation>Tabulatorgetrennte Dateien (*.tab)|*.tab</translation>
    </message>
    <message>
        <source>dictd dictionaries (*.index)|*.index</source>
        <translation>dictd-Wörterbücher (*.index)|*.index</translation>
    </message>
    <message>
        <source>StarDict dictionaries (*.ifo)|*.ifo</source>
        <translation>StarDict-Wörterbücher (*.ifo)|*.ifo</translation>
    </message>
    <message>
        <source>the first line is not &quot;%1&quot;</source>
        <translation>die erste Zeile ist nicht „%1“</translation>
    </message>
    <message>
        <source>%1 is not a number</source>
        <translation>%1 ist keine Zahl</translation>
    </message>
    <message>
        <source>idxoffsetbits is neither 32 nor 64</source>
        <translation>idxoffsetbits ist weder 32 noch 64</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>die Datei ist leer</translation>
    </message>
    <message>
        <source>it gives no wordcount</source>
        <translation>sie nennt keinen wordcount</translation>
    </message>
    <message>
        <source>it gives no idxfilesize</source>
        <translation>sie nennt keine idxfilesize</translation>
    </message>
    <message>
        <source>record %1: %2</source>
        <translation>Datensatz %1: %2</translation>
    </message>
    <message>
        <source>the headword has no end (no zero byte)</source>
        <translation>das Stichwort hat kein Ende (kein Nullbyte)</translation>
    </message>
    <message>
        <source>the record is cut off</source>
        <translation>der Datensatz ist abgeschnitten</translation>
    </message>
    <message>
        <source>%1: cannot hold the %2 bytes the .ifo gives as idxfilesize</source>
        <translation>%1: kann die %2 Bytes nicht enthalten, die die .ifo als idxfilesize nennt</translation>
    </message>
    <message>
        <source>cannot inflate: out of memory</source>
        <translation>das Entpacken ist nicht möglich: nicht genug Speicher</translation>
    </message>
    <message>
        <source>the gzip data is damaged or cut off</source>
        <translation>die gzip-Daten sind beschädigt oder abgeschnitten</translation>
    </message>
    <message>
        <source>%1: holds more bytes than the .ifo gives as idxfilesize (%2)</source>
        <translation>%1: enthält mehr Bytes, als die .ifo als idxfilesize nennt (%2)</translation>
    </message>
    <message>
        <source>%1: holds fewer bytes than the .ifo gives as idxfilesize (%2)</source>
        <translation>%1: enthält weniger Bytes, als die .ifo als idxfilesize nennt (%2)</translation>
    </message>
    <message>
        <source>%1: not a StarDict .ifo file: %2</source>
        <translation>%1: keine StarDict-.ifo-Datei: %2</translation>
    </message>
    <message>
        <source>%1: holds %2 bytes, but the .ifo gives idxfilesize %3</source>
        <translation>%1: enthält %2 Bytes, aber die .ifo nennt idxfilesize %3</translation>
    </message>
    <message>
        <source>%1: the dictionary&apos;s index is missing: neither %2.idx nor %2.idx.gz is there</source>
        <translation>%1: der Index des Wörterbuchs fehlt: weder %2.idx noch %2.idx.gz ist da</translation>
    </message>
    <message>
        <source>%1: holds %2 entry, but the .ifo gives wordcount %3 (one of the two is damaged)</source>
        <translation>%1: enthält %2 Eintrag, aber die .ifo nennt wordcount %3 (eins von beiden ist beschädigt)</translation>
    </message>
    <message>
        <source>%1: holds %2 entries, but the .ifo gives wordcount %3 (one of the two is damaged)</source>
        <translation>%1: enthält %2 Einträge, aber die .ifo nennt wordcount %3 (eins von beiden ist beschädigt)</translation>
    </message>
    <message>
        <source>%1: cannot convert the text: %2</source>
        <translation>%1: der Text kann nicht umgewandelt werden: %2</translation>
    </message>
    <message>
        <source>the book is not a legacy book (it is already version 2)</source>
        <translation>das Buch ist kein Buch im alten Format (es hat schon Version 2)</translation>
    </message>
    <message>
        <source>a record of the legacy book could not be read</source>
        <translation>ein Eintrag des alten Buchs konnte nicht gelesen werden</translation>
    </message>
    <message>
        <source>the book&apos;s entries overlap (one starts inside another), so it is damaged</source>
        <translation>die Einträge des Buchs überlappen sich (einer beginnt in einem anderen), es ist also beschädigt</translation>
    </message>
    <message>
        <source>%1: cannot write the book: %2 (nothing was changed there)</source>
        <translation>%1: das Buch kann nicht geschrieben werden: %2 (dort wurde nichts verändert)</translation>
    </message>
    <message>
        <source>no database name</source>
        <translation>kein Datenbankname</translation>
    </message>
    <message>
        <source>cannot create the file</source>
        <translation>die Datei kann nicht angelegt werden</translation>
    </message>
    <message>
        <source>writing the file failed</source>
        <translation>das Schreiben der Datei ist fehlgeschlagen</translation>
    </message>
    <message>
        <source>not enough memory for the export</source>
        <translation>nicht genug Speicher für den Export</translation>
    </message>
    <message>
        <source>the book could not be read to its end</source>
        <translation>das Buch konnte nicht bis zu seinem Ende gelesen werden</translation>
    </message>
    <message>
        <source>the book is too large for a handheld database</source>
        <translation>das Buch ist zu groß für eine Handheld-Datenbank</translation>
    </message>
    <message>
        <source>the export failed (error %1)</source>
        <translation>der Export ist fehlgeschlagen (Fehler %1)</translation>
    </message>
    <message>
        <source>disk quota exceeded</source>
        <translation>Speicherkontingent überschritten</translation>
    </message>
    <message>
        <source>file too large</source>
        <translation>Datei zu groß</translation>
    </message>
    <message>
        <source>input/output error</source>
        <translation>Ein-/Ausgabefehler</translation>
    </message>
    <message>
        <source>cannot create %1: %2</source>
        <translation>%1 kann nicht angelegt werden: %2</translation>
    </message>
    <message>
        <source>%1 is a symbolic link</source>
        <translation>%1 ist ein symbolischer Link</translation>
    </message>
    <message>
        <source>%1 is not a directory</source>
        <translation>%1 ist kein Ordner</translation>
    </message>
    <message>
        <source>%1 belongs to another user</source>
        <translation>%1 gehört einem anderen Benutzer</translation>
    </message>
    <message>
        <source>%1 is open to other users</source>
        <translation>%1 ist für andere Benutzer offen</translation>
    </message>
    <message>
        <source>cannot create a directory in %1: %2</source>
        <translation>in %1 kann kein Ordner angelegt werden: %2</translation>
    </message>
    <message>
        <source>%1, and cannot create a directory in %2: %3</source>
        <translation>%1, und in %2 kann kein Ordner angelegt werden: %3</translation>
    </message>
    <message>
        <source>Cannot write the page: %1</source>
        <translation>Die Seite kann nicht geschrieben werden: %1</translation>
    </message>
    <message>
        <source>Cannot write the page %1: %2</source>
        <translation>Die Seite %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>The search holds no word to look for.</source>
        <translation>Die Suche enthält kein Wort, nach dem gesucht werden kann.</translation>
    </message>
    <message>
        <source>A search of words to leave out alone finds nothing: add a word to look for.</source>
        <translation>Eine Suche nur aus auszuschließenden Wörtern findet nichts: Fügen Sie ein Wort hinzu, nach dem gesucht werden soll.</translation>
    </message>
    <message>
        <source>The book does not open.</source>
        <translation>Das Buch lässt sich nicht öffnen.</translation>
    </message>
    <message>
        <source>This entry is damaged</source>
        <translation>Dieser Eintrag ist beschädigt</translation>
    </message>
    <message>
        <source>%1: Cannot Allocate memory - &apos;%2&apos;</source>
        <translation>%1: Speicher kann nicht belegt werden – &apos;%2&apos;</translation>
    </message>
    <message>
        <source>Record Numbers not the same (%1 = %2)</source>
        <translation>Die Datensatznummern stimmen nicht überein (%1 = %2)</translation>
    </message>
</context>
<context>
    <name>qlui::AboutDialog</name>
    <message>
        <source>About Quillary</source>
        <translation>Über Quillary</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
</context>
<context>
    <name>qlui::CFindDialog</name>
    <message>
        <source>Find</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Find what:</source>
        <translation>Suchen nach:</translation>
    </message>
    <message>
        <source>Find what</source>
        <translation>Suchen nach</translation>
    </message>
    <message>
        <source>AND</source>
        <translation>UND</translation>
    </message>
    <message>
        <source>AND, second term</source>
        <translation>UND, zweiter Begriff</translation>
    </message>
    <message>
        <source>AND, third term</source>
        <translation>UND, dritter Begriff</translation>
    </message>
    <message>
        <source>Exclude</source>
        <translation>Ausschließen</translation>
    </message>
    <message>
        <source>Exclude the second term</source>
        <translation>Den zweiten Begriff ausschließen</translation>
    </message>
    <message>
        <source>Exclude the third term</source>
        <translation>Den dritten Begriff ausschließen</translation>
    </message>
    <message>
        <source>Match whole words only</source>
        <translation>Nur ganze Wörter</translation>
    </message>
    <message>
        <source>Only search in subject text</source>
        <translation>Nur in den Stichwörtern suchen</translation>
    </message>
    <message>
        <source>Select exclude to find records that don&apos;t contain the word/phrase in the associated text box.</source>
        <translation>Wählen Sie „Ausschließen“, um Einträge zu finden, die das Wort oder die Wendung im zugehörigen Feld nicht enthalten.</translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation>Weitersuchen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>qlui::CLookupLine</name>
    <message>
        <source>Look up</source>
        <translation>Nachschlagen</translation>
    </message>
    <message>
        <source>Look up a subject (Ctrl+L)</source>
        <translation>Stichwort nachschlagen (Strg+L)</translation>
    </message>
    <message>
        <source>Nearest subjects</source>
        <translation>Nächste Stichwörter</translation>
    </message>
</context>
<context>
    <name>qlui::CMainFrame</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>&amp;Bookmarks</source>
        <translation>&amp;Lesezeichen</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>&amp;Library</source>
        <translation>Bibli&amp;othek</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;Open...</source>
        <translation>&amp;Öffnen...</translation>
    </message>
    <message>
        <source>Open a book</source>
        <translation>Ein Buch öffnen</translation>
    </message>
    <message>
        <source>Import...</source>
        <translation>Importieren...</translation>
    </message>
    <message>
        <source>Make a book from tagged or tab-separated text</source>
        <translation>Ein Buch aus ausgezeichnetem oder tabulatorgetrenntem Text erstellen</translation>
    </message>
    <message>
        <source>Export to Palm...</source>
        <translation>Nach Palm exportieren...</translation>
    </message>
    <message>
        <source>Write the book as a handheld database</source>
        <translation>Das Buch als Handheld-Datenbank schreiben</translation>
    </message>
    <message>
        <source>Upgrade...</source>
        <translation>Aktualisieren...</translation>
    </message>
    <message>
        <source>Write an older-format book as a new book</source>
        <translation>Ein Buch im älteren Format als neues Buch schreiben</translation>
    </message>
    <message>
        <source>Export as Text...</source>
        <translation>Als Text exportieren...</translation>
    </message>
    <message>
        <source>Write the book as tab-separated tagged text</source>
        <translation>Das Buch als tabulatorgetrennten ausgezeichneten Text schreiben</translation>
    </message>
    <message>
        <source>&amp;Print...</source>
        <translation>&amp;Drucken...</translation>
    </message>
    <message>
        <source>Print the record on show</source>
        <translation>Den gezeigten Eintrag drucken</translation>
    </message>
    <message>
        <source>P&amp;rint Setup...</source>
        <translation>Drucker&amp;einrichtung...</translation>
    </message>
    <message>
        <source>Choose the printer and the page</source>
        <translation>Drucker und Seite wählen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>Quit Quillary</source>
        <translation>Quillary beenden</translation>
    </message>
    <message>
        <source>&amp;Find...</source>
        <translation>&amp;Suchen...</translation>
    </message>
    <message>
        <source>Search the book for up to three terms</source>
        <translation>Das Buch nach bis zu drei Begriffen durchsuchen</translation>
    </message>
    <message>
        <source>&amp;Look Up</source>
        <translation>&amp;Nachschlagen</translation>
    </message>
    <message>
        <source>Type the start of a subject to show it</source>
        <translation>Den Anfang eines Stichworts tippen, um es zu zeigen</translation>
    </message>
    <message>
        <source>Find Next</source>
        <translation>Weitersuchen</translation>
    </message>
    <message>
        <source>Find the next match</source>
        <translation>Den nächsten Treffer finden</translation>
    </message>
    <message>
        <source>New bookmark</source>
        <translation>Neues Lesezeichen</translation>
    </message>
    <message>
        <source>Remove bookmark...</source>
        <translation>Lesezeichen entfernen...</translation>
    </message>
    <message>
        <source>&amp;Back</source>
        <translation>&amp;Zurück</translation>
    </message>
    <message>
        <source>Show the record shown before</source>
        <translation>Den zuvor gezeigten Eintrag zeigen</translation>
    </message>
    <message>
        <source>&amp;Forward</source>
        <translation>&amp;Vorwärts</translation>
    </message>
    <message>
        <source>Show the record shown after</source>
        <translation>Den danach gezeigten Eintrag zeigen</translation>
    </message>
    <message>
        <source>&amp;History...</source>
        <translation>Ver&amp;lauf...</translation>
    </message>
    <message>
        <source>List the records shown, newest first</source>
        <translation>Die gezeigten Einträge auflisten, die neuesten zuerst</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>Verlauf löschen</translation>
    </message>
    <message>
        <source>Forget the records shown</source>
        <translation>Die gezeigten Einträge vergessen</translation>
    </message>
    <message>
        <source>Zoom &amp;In</source>
        <translation>Ver&amp;größern</translation>
    </message>
    <message>
        <source>Make the list and the page larger</source>
        <translation>Liste und Seite größer zeigen</translation>
    </message>
    <message>
        <source>Zoom &amp;Out</source>
        <translation>Ver&amp;kleinern</translation>
    </message>
    <message>
        <source>Make the list and the page smaller</source>
        <translation>Liste und Seite kleiner zeigen</translation>
    </message>
    <message>
        <source>&amp;Actual Size</source>
        <translation>&amp;Originalgröße</translation>
    </message>
    <message>
        <source>Show the list and the page at 100%</source>
        <translation>Liste und Seite in 100 % zeigen</translation>
    </message>
    <message>
        <source>T&amp;heme</source>
        <translation>&amp;Farbschema</translation>
    </message>
    <message>
        <source>Follow the &amp;Desktop</source>
        <translation>Wie der &amp;Desktop</translation>
    </message>
    <message>
        <source>&amp;Light</source>
        <translation>&amp;Hell</translation>
    </message>
    <message>
        <source>Dar&amp;k</source>
        <translation>D&amp;unkel</translation>
    </message>
    <message>
        <source>&amp;Toolbar</source>
        <translation>&amp;Werkzeugleiste</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>&amp;Statusleiste</translation>
    </message>
    <message>
        <source>&amp;Library...</source>
        <translation>&amp;Bibliothek...</translation>
    </message>
    <message>
        <source>List the books of the library, their folders and groups</source>
        <translation>Die Bücher der Bibliothek, ihre Ordner und Gruppen auflisten</translation>
    </message>
    <message>
        <source>Find &amp;Dictionaries...</source>
        <translation>&amp;Wörterbücher finden...</translation>
    </message>
    <message>
        <source>Add the dictionaries already on this computer to the library</source>
        <translation>Die schon auf diesem Rechner vorhandenen Wörterbücher der Bibliothek hinzufügen</translation>
    </message>
    <message>
        <source>&amp;Stop Importing</source>
        <translation>Import &amp;anhalten</translation>
    </message>
    <message>
        <source>Stop importing dictionaries (Esc)</source>
        <translation>Das Importieren der Wörterbücher anhalten (Esc)</translation>
    </message>
    <message>
        <source>Contents...</source>
        <translation>Inhalt...</translation>
    </message>
    <message>
        <source>Read the manual</source>
        <translation>Das Handbuch lesen</translation>
    </message>
    <message>
        <source>&amp;About Quillary...</source>
        <translation>Ü&amp;ber Quillary...</translation>
    </message>
    <message>
        <source>Next pane</source>
        <translation>Nächster Bereich</translation>
    </message>
    <message>
        <source>Previous pane</source>
        <translation>Voriger Bereich</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Recent File</source>
        <translation>Zuletzt geöffnete Datei</translation>
    </message>
    <message>
        <source>Toolbar</source>
        <translation>Werkzeugleiste</translation>
    </message>
    <message>
        <source>Font bar</source>
        <translation>Schriftleiste</translation>
    </message>
    <message>
        <source>Font:</source>
        <translation>Schrift:</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>Schrift</translation>
    </message>
    <message>
        <source>Size:</source>
        <translation>Größe:</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Status bar</source>
        <translation>Statusleiste</translation>
    </message>
    <message>
        <source>CAP</source>
        <translation>UF</translation>
    </message>
    <message>
        <source>NUM</source>
        <translation>NUM</translation>
    </message>
    <message>
        <source>SCRL</source>
        <translation>ROLLEN</translation>
    </message>
    <message>
        <source>“%1” is no longer in %2</source>
        <translation>„%1“ ist nicht mehr in %2</translation>
    </message>
    <message>
        <source>The history was not saved: %1</source>
        <translation>Der Verlauf wurde nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>QuickPeek</source>
        <translation>QuickPeek</translation>
    </message>
    <message>
        <source>QuickPeek Clipboard</source>
        <translation>QuickPeek Zwischenablage</translation>
    </message>
    <message>
        <source>Quillary QuickPeek</source>
        <translation>Quillary QuickPeek</translation>
    </message>
    <message>
        <source>The library was not saved: %1</source>
        <translation>Die Bibliothek wurde nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>Open</source>
        <translation>Öffnen</translation>
    </message>
    <message>
        <source>Quillary Files (*.ql)</source>
        <translation>Quillary-Dateien (*.ql)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>The manual (manual.ql) is not installed beside the program.</source>
        <translation>Das Handbuch (manual.ql) ist nicht neben dem Programm installiert.</translation>
    </message>
    <message>
        <source>Zoom %1%</source>
        <translation>Zoom %1 %</translation>
    </message>
    <message>
        <source>The bookmarks could not be saved: %1</source>
        <translation>Die Lesezeichen konnten nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Speichern unter</translation>
    </message>
    <message>
        <source>F&amp;ound in:</source>
        <translation>Gef&amp;unden in:</translation>
    </message>
    <message>
        <source>Found in</source>
        <translation>Gefunden in</translation>
    </message>
    <message>
        <source>From %1</source>
        <translation>Aus %1</translation>
    </message>
    <message>
        <source>Group</source>
        <translation>Gruppe</translation>
    </message>
    <message>
        <source>The books lookups go to</source>
        <translation>Die Bücher, in denen nachgeschlagen wird</translation>
    </message>
    <message>
        <source>The library could not be saved: %1</source>
        <translation>Die Bibliothek konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Large</source>
        <translation>Groß</translation>
    </message>
    <message>
        <source>All books</source>
        <translation>Alle Bücher</translation>
    </message>
    <message>
        <source>Untitled - Quillary</source>
        <translation>Unbenannt - Quillary</translation>
    </message>
    <message>
        <source>Search &amp;All Books...</source>
        <translation>&amp;Alle Bücher durchsuchen...</translation>
    </message>
    <message>
        <source>Search the text of every entry of the books for words</source>
        <translation>Den Text aller Einträge der Bücher nach Wörtern durchsuchen</translation>
    </message>
    <message>
        <source>Indexing</source>
        <translation>Indizierung</translation>
    </message>
</context>
<context>
    <name>qlui::CQuillaryHtmlView</name>
    <message>
        <source>Record</source>
        <translation>Eintrag</translation>
    </message>
    <message>
        <source>&lt;b&gt;Browse&lt;/b&gt;&lt;br&gt;the subjects above</source>
        <translation>&lt;b&gt;Blättern&lt;/b&gt;&lt;br&gt;in den Stichwörtern oben</translation>
    </message>
    <message>
        <source>&lt;b&gt;Read&lt;/b&gt;&lt;br&gt;each record here</source>
        <translation>&lt;b&gt;Lesen&lt;/b&gt;&lt;br&gt;jeden Eintrag hier</translation>
    </message>
    <message>
        <source>&lt;b&gt;Find&lt;/b&gt;&lt;br&gt;with Ctrl+F</source>
        <translation>&lt;b&gt;Suchen&lt;/b&gt;&lt;br&gt;mit Strg+F</translation>
    </message>
    <message>
        <source>Open a book with Ctrl+O, then choose a subject.</source>
        <translation>Öffnen Sie ein Buch mit Strg+O und wählen Sie dann ein Stichwort.</translation>
    </message>
    <message>
        <source>Pictures and program by the Quillary team.</source>
        <translation>Bilder und Programm vom Quillary-Team.</translation>
    </message>
    <message>
        <source>A book</source>
        <translation>Ein Buch</translation>
    </message>
    <message>
        <source>A quill</source>
        <translation>Eine Feder</translation>
    </message>
    <message>
        <source>A lens</source>
        <translation>Eine Lupe</translation>
    </message>
</context>
<context>
    <name>qlui::CQuillaryView</name>
    <message>
        <source>Subjects</source>
        <translation>Stichwörter</translation>
    </message>
    <message>
        <source>Columns</source>
        <translation>Spalten</translation>
    </message>
</context>
<context>
    <name>qlui::FtsResultsModel</name>
    <message>
        <source>%1 (not indexed)</source>
        <translation>%1 (nicht indiziert)</translation>
    </message>
    <message>
        <source>%1 has no word index yet: it was searched entry by entry.</source>
        <translation>%1 hat noch keinen Wortindex: Es wurde Eintrag für Eintrag durchsucht.</translation>
    </message>
    <message>
        <source>Book</source>
        <translation>Buch</translation>
    </message>
    <message>
        <source>Subject</source>
        <translation>Stichwort</translation>
    </message>
    <message>
        <source>Snippet</source>
        <translation>Ausschnitt</translation>
    </message>
</context>
<context>
    <name>qlui::HelpWindow</name>
    <message>
        <source>Quillary Help</source>
        <translation>Quillary-Hilfe</translation>
    </message>
    <message>
        <source>Help topics</source>
        <translation>Hilfethemen</translation>
    </message>
    <message>
        <source>Help text</source>
        <translation>Hilfetext</translation>
    </message>
</context>
<context>
    <name>qlui::HistoryDialog</name>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>&amp;Steps, newest first:</source>
        <translation>&amp;Schritte, die neuesten zuerst:</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>All books</source>
        <translation>Alle Bücher</translation>
    </message>
</context>
<context>
    <name>qlui::HotSyncUserDialog</name>
    <message>
        <source>HotSync User</source>
        <translation>HotSync-Benutzer</translation>
    </message>
    <message>
        <source>HotSync users</source>
        <translation>HotSync-Benutzer</translation>
    </message>
</context>
<context>
    <name>qlui::LibraryModel</name>
    <message>
        <source>Title</source>
        <translation>Titel</translation>
    </message>
    <message>
        <source>Subjects</source>
        <translation>Stichwörter</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>State</source>
        <translation>Zustand</translation>
    </message>
    <message>
        <source>Index</source>
        <translation>Index</translation>
    </message>
</context>
<context>
    <name>qlui::LibraryWindow</name>
    <message>
        <source>Library</source>
        <translation>Bibliothek</translation>
    </message>
    <message>
        <source>Books</source>
        <translation>Bücher</translation>
    </message>
    <message>
        <source>Groups</source>
        <translation>Gruppen</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Add &amp;Book...</source>
        <translation>&amp;Buch hinzufügen...</translation>
    </message>
    <message>
        <source>Add &amp;Folder...</source>
        <translation>O&amp;rdner hinzufügen...</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>Ent&amp;fernen</translation>
    </message>
    <message>
        <source>Switch &amp;Off</source>
        <translation>&amp;Ausschalten</translation>
    </message>
    <message>
        <source>Move &amp;Up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move &amp;Down</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>&amp;New Group...</source>
        <translation>&amp;Neue Gruppe...</translation>
    </message>
    <message>
        <source>De&amp;lete Group</source>
        <translation>Gruppe &amp;löschen</translation>
    </message>
    <message>
        <source>&amp;Put in Group</source>
        <translation>&amp;In Gruppe aufnehmen</translation>
    </message>
    <message>
        <source>&amp;Take out of Group</source>
        <translation>Aus Gruppe &amp;herausnehmen</translation>
    </message>
    <message>
        <source>R&amp;emove Folder</source>
        <translation>Ordner en&amp;tfernen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>Take the selected books out of the library (Delete)</source>
        <translation>Die gewählten Bücher aus der Bibliothek nehmen (Entf)</translation>
    </message>
    <message>
        <source>Switch the selected books off or on (Space)</source>
        <translation>Die gewählten Bücher aus- oder einschalten (Leertaste)</translation>
    </message>
    <message>
        <source>Move the book up (Alt+Up)</source>
        <translation>Das Buch nach oben schieben (Alt+Hoch)</translation>
    </message>
    <message>
        <source>Move the book down (Alt+Down)</source>
        <translation>Das Buch nach unten schieben (Alt+Runter)</translation>
    </message>
    <message>
        <source>B&amp;ooks:</source>
        <translation>Bü&amp;cher:</translation>
    </message>
    <message>
        <source>&amp;Groups:</source>
        <translation>&amp;Gruppen:</translation>
    </message>
    <message>
        <source>Fold&amp;ers searched for books:</source>
        <translation>Or&amp;dner, in denen nach Büchern gesucht wird:</translation>
    </message>
    <message>
        <source>Switch &amp;On</source>
        <translation>&amp;Einschalten</translation>
    </message>
    <message>
        <source>The library could not be saved: %1</source>
        <translation>Die Bibliothek konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>There is a group by that name already, or the name cannot be used.</source>
        <translation>Es gibt schon eine Gruppe dieses Namens, oder der Name ist nicht verwendbar.</translation>
    </message>
    <message>
        <source>Add Book</source>
        <translation>Buch hinzufügen</translation>
    </message>
    <message>
        <source>Quillary Files (*.ql)</source>
        <translation>Quillary-Dateien (*.ql)</translation>
    </message>
    <message>
        <source>All Files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>New Group</source>
        <translation>Neue Gruppe</translation>
    </message>
    <message>
        <source>&amp;Name of the group:</source>
        <translation>&amp;Name der Gruppe:</translation>
    </message>
    <message>
        <source>All books</source>
        <translation>Alle Bücher</translation>
    </message>
</context>
<context>
    <name>qlui::PalmImportDialog</name>
    <message>
        <source>HotSync to Palm</source>
        <translation>Per HotSync auf den Palm</translation>
    </message>
    <message>
        <source>Palm Import</source>
        <translation>Palm-Import</translation>
    </message>
    <message>
        <source>Palm database name</source>
        <translation>Name der Palm-Datenbank</translation>
    </message>
</context>
<context>
    <name>qlui::ProgressWindow</name>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
</context>
<context>
    <name>qlui::QuickPeeker</name>
    <message>
        <source>QuickPeeker</source>
        <translation>QuickPeeker</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Eintrag</translation>
    </message>
    <message>
        <source>&amp;Look up:</source>
        <translation>&amp;Nachschlagen:</translation>
    </message>
    <message>
        <source>Look up</source>
        <translation>Nachschlagen</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
    <message>
        <source>Did you mean</source>
        <translation>Meinten Sie</translation>
    </message>
    <message>
        <source>&amp;Did you mean:</source>
        <translation>&amp;Meinten Sie:</translation>
    </message>
    <message>
        <source>From %1</source>
        <translation>Aus %1</translation>
    </message>
</context>
<context>
    <name>qlui::RemoveBookmarkDialog</name>
    <message>
        <source>Remove bookmark</source>
        <translation>Lesezeichen entfernen</translation>
    </message>
    <message>
        <source>Bookmarks</source>
        <translation>Lesezeichen</translation>
    </message>
    <message>
        <source>Remove</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>qlui::SearchAllBooksDialog</name>
    <message>
        <source>Search All Books</source>
        <translation>Alle Bücher durchsuchen</translation>
    </message>
    <message>
        <source>Words to search for</source>
        <translation>Gesuchte Wörter</translation>
    </message>
    <message>
        <source>Words, &quot;a phrase&quot;, a prefix*, -left out</source>
        <translation>Wörter, „eine Wortfolge“, Anfang*, -ausgelassen</translation>
    </message>
    <message>
        <source>&amp;Search for:</source>
        <translation>&amp;Suchen nach:</translation>
    </message>
    <message>
        <source>Books to search</source>
        <translation>Zu durchsuchende Bücher</translation>
    </message>
    <message>
        <source>The whole library</source>
        <translation>Die ganze Bibliothek</translation>
    </message>
    <message>
        <source>I&amp;n:</source>
        <translation>I&amp;n:</translation>
    </message>
    <message>
        <source>Entries found</source>
        <translation>Gefundene Einträge</translation>
    </message>
    <message>
        <source>&amp;Entries found:</source>
        <translation>Gefundene &amp;Einträge:</translation>
    </message>
    <message>
        <source>Search status</source>
        <translation>Stand der Suche</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>This book</source>
        <translation>Dieses Buch</translation>
    </message>
    <message>
        <source>The group “%1”</source>
        <translation>Die Gruppe „%1“</translation>
    </message>
    <message>
        <source>These words cannot be searched: %1</source>
        <translation>Nach diesen Wörtern kann nicht gesucht werden: %1</translation>
    </message>
    <message>
        <source>There is no book to search in.</source>
        <translation>Hier gibt es kein Buch zum Durchsuchen.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>Searching: %1 of %2 books answered</source>
        <translation>Suche läuft: %1 von %2 Büchern haben geantwortet</translation>
    </message>
    <message>
        <source>No entry holds these words.</source>
        <translation>Kein Eintrag enthält diese Wörter.</translation>
    </message>
    <message>
        <source>Entries found: %1, searched %2 books</source>
        <translation>Gefundene Einträge: %1, %2 Bücher durchsucht</translation>
    </message>
    <message>
        <source>Not indexed yet, searched entry by entry: %1</source>
        <translation>Noch nicht indiziert, Eintrag für Eintrag durchsucht: %1</translation>
    </message>
    <message>
        <source>, </source>
        <translation>, </translation>
    </message>
</context>
<context>
    <name>qlui::SubjectModel</name>
    <message>
        <source>Subject</source>
        <translation>Stichwort</translation>
    </message>
    <message>
        <source>Preview</source>
        <translation>Vorschau</translation>
    </message>
</context>
<context>
    <name>qlui::ThreadedSearchRunner</name>
    <message>
        <source>Search stopped</source>
        <translation>Suche angehalten</translation>
    </message>
    <message>
        <source>Searching: %1% of the book (Esc stops)</source>
        <translation>Suche: %1 % des Buchs (Esc hält an)</translation>
    </message>
</context>
</TS>
