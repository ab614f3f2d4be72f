// Stand-in for the own-text table until it is shared: the secure-connection block only.
#include "text/own_text.h"

#include <array>

namespace postvane {

namespace {

struct Row {
  int Offset;
  std::array<const char*, 6> Texts;  // ca de en es it nl
};

const Row kRows[] = {
    {20, {"Seguretat", "Sicherheit", "Security", "Seguridad", "Sicurezza", "Beveiliging"}},
    {21, {"Cap", "Keine", "None", "Ninguna", "Nessuna", "Geen"}},
    {22, {"SSL/TLS", "SSL/TLS", "SSL/TLS", "SSL/TLS", "SSL/TLS", "SSL/TLS"}},
    {23, {"STARTTLS", "STARTTLS", "STARTTLS", "STARTTLS", "STARTTLS", "STARTTLS"}},
    {24, {"Confia en aquest certificat…", "Diesem Zertifikat vertrauen…", "Trust this certificate…", "Confiar en este certificado…", "Considera attendibile il certificato…", "Dit certificaat vertrouwen…"}},
    {25, {"Certificat no fiable (SHA-256 #)", "Zertifikat nicht vertrauenswürdig (SHA-256 #)", "Certificate not trusted (SHA-256 #)", "Certificado no fiable (SHA-256 #)", "Certificato non attendibile (SHA-256 #)", "Certificaat niet vertrouwd (SHA-256 #)"}},
    {26, {"El certificat és per a un altre nom de servidor", "Zertifikat gilt für einen anderen Servernamen", "Certificate is for another server name", "El certificado es para otro nombre de servidor", "Il certificato è per un altro nome di server", "Certificaat is voor een andere servernaam"}},
    {27, {"Certificat caducat o encara no vàlid", "Zertifikat abgelaufen oder noch nicht gültig", "Certificate expired or not yet valid", "Certificado caducado o aún no válido", "Certificato scaduto o non ancora valido", "Certificaat verlopen of nog niet geldig"}},
    {28, {"Ha fallat la connexió segura (negociació TLS)", "Sichere Verbindung fehlgeschlagen (TLS-Aushandlung)", "Secure connection failed (TLS handshake)", "Falló la conexión segura (negociación TLS)", "Connessione sicura non riuscita (negoziazione TLS)", "Beveiligde verbinding mislukt (TLS-onderhandeling)"}},
    {29, {"El servidor no ofereix STARTTLS", "Server bietet kein STARTTLS an", "Server does not offer STARTTLS", "El servidor no ofrece STARTTLS", "Il server non offre STARTTLS", "Server biedt geen STARTTLS aan"}},
    {30, {"El servidor ha rebutjat STARTTLS", "Server hat STARTTLS abgelehnt", "Server refused STARTTLS", "El servidor rechazó STARTTLS", "Il server ha rifiutato STARTTLS", "Server heeft STARTTLS geweigerd"}},
    {31, {"El servidor ha enviat dades abans de la connexió segura", "Server hat vor der sicheren Verbindung Daten gesendet", "Server sent data before the secure connection began", "El servidor envió datos antes de la conexión segura", "Il server ha inviato dati prima della connessione sicura", "Server stuurde gegevens vóór de beveiligde verbinding"}},
    {32, {"Titular:", "Inhaber:", "Subject:", "Titular:", "Titolare:", "Houder:"}},
    {33, {"Emissor:", "Aussteller:", "Issuer:", "Emisor:", "Emittente:", "Uitgever:"}},
    {34, {"Vàlid des de:", "Gültig ab:", "Valid from:", "Válido desde:", "Valido dal:", "Geldig vanaf:"}},
    {35, {"Vàlid fins a:", "Gültig bis:", "Valid until:", "Válido hasta:", "Valido fino al:", "Geldig tot:"}},
    {36, {"Empremta SHA-256:", "SHA-256-Fingerabdruck:", "SHA-256 fingerprint:", "Huella SHA-256:", "Impronta SHA-256:", "SHA-256-vingerafdruk:"}},
    {37, {"Voleu confiar en aquest certificat per a aquesta bústia? Abans compareu l'empremta amb la que publica el vostre proveïdor. Si el certificat canvia, les comprovacions tornaran a fallar.", "Diesem Zertifikat für dieses Postfach vertrauen? Vergleichen Sie zuerst den Fingerabdruck mit dem Ihres Anbieters. Ändert sich das Zertifikat, schlagen die Abrufe wieder fehl.", "Trust this certificate for this mailbox? First compare the fingerprint with the one your provider publishes. If the certificate changes, checks fail again.", "¿Confiar en este certificado para este buzón? Compare antes la huella con la que publica su proveedor. Si el certificado cambia, las comprobaciones volverán a fallar.", "Considerare attendibile questo certificato per questa casella? Confronta prima l'impronta con quella pubblicata dal tuo provider. Se il certificato cambia, i controlli falliranno di nuovo.", "Dit certificaat vertrouwen voor deze postbus? Vergelijk eerst de vingerafdruk met die van uw provider. Als het certificaat verandert, mislukken de controles opnieuw."}},
    {38, {"Certificat del servidor", "Serverzertifikat", "Server certificate", "Certificado del servidor", "Certificato del server", "Servercertificaat"}},
};

int Column(int16_t languageBase) {
  switch (languageBase) {
    case 300:
      return 0;
    case 700:
      return 1;
    case 1000:
      return 3;
    case 1600:
      return 4;
    case 1900:
      return 5;
    default:
      return 2;
  }
}

}  // namespace

std::string OwnString(int16_t languageBase, OwnText id) {
  for (const Row& row : kRows) {
    if (row.Offset == static_cast<int>(id)) return row.Texts[static_cast<std::size_t>(Column(languageBase))];
  }
  return {};
}

}  // namespace postvane
