// Stand-in for the own-text table until it is compiled from resources/own_strings.tsv.
#include <array>

#include "text/own_text.h"

namespace postvane {
namespace {

// Columns as in the table: ca de en es it nl.
struct Row {
  OwnText id;
  std::array<const char*, 6> texts;
};

const Row kRows[] = {
    {OwnText::NoMailboxEnabled,
     {"Encara no hi ha cap bústia activa. Feu clic amb el botó dret en aquesta icona i trieu "
      "«Configuració» per configurar-ne una.",
      "Noch ist kein Postfach aktiv. Klicken Sie mit der rechten Maustaste auf dieses Symbol und "
      "wählen Sie „Konfiguration“, um eines einzurichten.",
      "No mailbox is enabled yet. Right-click this icon and choose \"Configuration\" to set one "
      "up.",
      "Todavía no hay ningún buzón activado. Haga clic con el botón derecho en este icono y elija "
      "«Configuración» para configurar uno.",
      "Nessuna casella di posta è ancora attivata. Fare clic con il tasto destro su questa icona "
      "e scegliere «Configurazione» per impostarne una.",
      "Er is nog geen postbus actief. Klik met de rechtermuisknop op dit pictogram en kies "
      "‘Configuratie’ om er een in te stellen."}},
    {OwnText::NoNotificationArea,
     {"Aquest escriptori no té àrea de notificació (safata del sistema), de manera que les "
      "icones de Postvane encara no es poden mostrar. Postvane continua funcionant i les mostrarà "
      "tan bon punt n'aparegui una. A GNOME, instal·leu l'extensió AppIndicator (paquet de Debian "
      "gnome-shell-extension-appindicator), tanqueu la sessió, torneu a entrar i activeu-la a "
      "l'aplicació Extensions.",
      "Auf diesem Desktop gibt es keinen Infobereich (System-Tray), daher können die Symbole von "
      "Postvane noch nicht angezeigt werden. Postvane läuft weiter und zeigt sie, sobald einer "
      "erscheint. Unter GNOME installieren Sie die AppIndicator-Erweiterung (Debian-Paket "
      "gnome-shell-extension-appindicator), melden sich ab und wieder an und schalten sie in der "
      "Anwendung „Erweiterungen“ ein.",
      "There is no notification area (system tray) on this desktop, so Postvane's icons cannot "
      "be shown yet. Postvane keeps running and shows them as soon as one appears. On GNOME, "
      "install the AppIndicator extension (Debian package gnome-shell-extension-appindicator), "
      "log out and back in, and switch it on in the Extensions app.",
      "Este escritorio no tiene área de notificación (bandeja del sistema), así que los iconos de "
      "Postvane aún no se pueden mostrar. Postvane sigue funcionando y los mostrará en cuanto "
      "aparezca una. En GNOME, instale la extensión AppIndicator (paquete de Debian "
      "gnome-shell-extension-appindicator), cierre la sesión, vuelva a entrar y actívela en la "
      "aplicación Extensiones.",
      "Questo desktop non ha un'area di notifica (system tray), quindi le icone di Postvane non "
      "possono ancora essere mostrate. Postvane resta in esecuzione e le mostra non appena ne "
      "compare una. In GNOME installare l'estensione AppIndicator (pacchetto Debian "
      "gnome-shell-extension-appindicator), uscire dalla sessione, rientrare e attivarla "
      "nell'applicazione Estensioni.",
      "Dit bureaublad heeft geen systeemvak (meldingsgebied), dus de pictogrammen van Postvane "
      "kunnen nog niet worden getoond. Postvane blijft draaien en toont ze zodra er een "
      "verschijnt. Installeer onder GNOME de AppIndicator-extensie (Debian-pakket "
      "gnome-shell-extension-appindicator), meld u af en weer aan en zet haar aan in de app "
      "Extensies."}},
};

int Column(int16_t languageBase) {
  switch (languageBase / 100) {
    case 3:
      return 0;
    case 7:
      return 1;
    case 10:
      return 3;
    case 16:
      return 4;
    case 19:
      return 5;
    default:
      return 2;
  }
}

}  // namespace

std::string OwnString(int16_t languageBase, OwnText id) {
  for (const Row& row : kRows) {
    if (row.id == id) return row.texts[static_cast<std::size_t>(Column(languageBase))];
  }
  return std::string();
}

}  // namespace postvane
