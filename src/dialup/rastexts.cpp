#include "dialup/rastexts.h"

#include <array>

namespace {
constexpr int firstCode = 601;

// Indexed by code - 601; texts shared by several codes are simply repeated.
const std::array<const char *, 150> errorTexts = {
    "Porta seriale non valida",                    // 601
    "Porta seriale già aperta",                    // 602
    "Buffer troppo piccolo",                       // 603
    "Informazioni errate",                         // 604
    "Imposibile impostare la porta seriale",       // 605
    "Porta seriale non connessa",                  // 606
    "Evento non valido",                           // 607
    "Il dispositivo non esiste",                   // 608
    "Il tipo di dispositivo non esiste",           // 609
    "Buffer non corretto",                         // 610
    "Instradamento non disponibile",               // 611
    "Instradamento non allocato",                  // 612
    "Protocollo di compressione non valido",       // 613
    "Overflow nel buffer",                         // 614
    "Porta seriale non trovata",                   // 615
    "Connessione asincrona in sospeso",            // 616
    "Disconnessione già avviata",                  // 617
    "Porta seriale non aperta",                    // 618
    "Porta seriale disconnessa",                   // 619
    "No EndPoints",                                // 620
    "Impossibile aprire il phonebook",             // 621
    "Impossibile caricare il phonebook",           // 622
    "Impossibile trovare la connessione",          // 623
    "Impossibile scrivere sul phonebook",          // 624
    "Phonebook danneggiato",                       // 625
    "Impossibile caricare una stringa",            // 626
    "Chiave non trovata",                          // 627
    "Disconnessione",                              // 628
    "Disconnessione remota",                       // 629
    "Hardware danneggiato",                        // 630
    "Disconnessione richiesta dall'utente",        // 631
    "Dimensione errata",                           // 632
    "Porta seriale non disponibile",               // 633
    "Impossibile proiettare il client",            // 634
    "Errore sconosciuto",                          // 635
    "Dispositivo errato",                          // 636
    "Stringa non valida",                          // 637
    "Timeout",                                     // 638
    "Errore sulla rete",                           // 639
    "Errore di NetBios",                           // 640
    "Server senza risorse",                        // 641
    "Nome già esistente sulla rete",               // 642
    "Errore generale sulla rete",                  // 643
    "Alias non indicato",                          // 644
    "Auth_Internal",                               // 645
    "Orari di connessione limitati",               // 646
    "Account non più abilitato",                   // 647
    "Password scaduta",                            // 648
    "Chiamata non concessa",                       // 649
    "Il server non risponde",                      // 650
    "Errore dal modem",                            // 651
    "Risposta non riconosciuta",                   // 652
    "Macro non trovata",                           // 653
    "Macro non definita",                          // 654
    "Macro di messaggi non trovata",               // 655
    "Macro predefinita non trovata",               // 656
    "Impossibile aprire il file",                  // 657
    "Nome di dispositivo troppo lungo",            // 658
    "Dispositivo non trovato",                     // 659
    "Nessuna risposta",                            // 660
    "Nessun comando trovato",                      // 661
    "Chiave errata",                               // 662
    "Tipo di modem sconosciuto",                   // 663
    "Errore di allocazione in memoria",            // 664
    "Porta seriale non configurata",               // 665
    "Modem non pronto",                            // 666
    "Errore in lettura del file INI",              // 667
    "Nessuna connessione",                         // 668
    "Errore nel file INI",                         // 669
    "Errore nel file INI (nome di sezione)",       // 670
    "errore nel file INI (DeviceType)",            // 671
    "Errore nel file INI (DeviceName)",            // 672
    "Errore nel file INI (Usage)",                 // 673
    "Errore nel file INI (MaxConnectBPS)",         // 674
    "Errore nel file INI (MaxCarrierBPS)",         // 675
    "Linea occupata",                              // 676
    "Risposta vocale",                             // 677
    "Nessuna risposta",                            // 678
    "Portante assente",                            // 679
    "Tono di libero assente",                      // 680
    "Errore nel comando",                          // 681
    "Errore nel file INI (nome di sezione)",       // 682
    "Errore nel file INI (DeviceType)",            // 683
    "Errore nel file INI (DeviceName)",            // 684
    "Errore nel file INI (MaxConnectBPS)",         // 685
    "Errore nel file INI (MaxCarrierBPS)",         // 686
    "Errore nel file INI (Usage)",                 // 687
    "Errore nel file INI (DefaultOff)",            // 688
    "Errore nel file INI (DefaultOff)",            // 689
    "File INI vuoto",                              // 690
    "Autenticazione fallita",                      // 691
    "Errore di porta seriale o modem",             // 692
    "Macro non binaria",                           // 693
    "DCB non trovato",                             // 694
    "Macchina a stati non avviata",                // 695
    "Macchina a stati già avviata",                // 696
    "Loop",                                        // 697
    "Chiave sconosciuta",                          // 698
    "Buffer pieno",                                // 699
    "Comando troppo lungo",                        // 700
    "Velocità non supportata",                     // 701
    "Risposta inaspettata",                        // 702
    "Modalità interattiva",                        // 703
    "Numero di callback errato",                   // 704
    "Autenticazione errata",                       // 705
    "Errore nel file INI (InitBPS)",               // 706
    "Diagnostica di errore X25",                   // 707
    "Account scaduto",                             // 708
    "Modifica della password",                     // 709
    "Overrun",                                     // 710
    "Gestore delle connessione non inizializzato", // 711
    "Porta bidirezionale non disponibile",         // 712
    "Linea ISDN non attiva",                       // 713
    "Nessun canale ISDN disponibile",              // 714
    "Troppi errori di linea",                      // 715
    "Configurazione IP errata",                    // 716
    "Indirizzo IP inesistente",                    // 717
    "Timeout PPP",                                 // 718
    "PPP terminato",                               // 719
    "Nessun protocollo PPP configurato",           // 720
    "Nessuna risposta PPP",                        // 721
    "Pacchetto PPP non valido",                    // 722
    "Numero telefonico troppo lungo",              // 723
    "Errore IPX",                                  // 724
    "Errore IPX",                                  // 725
    "Errore IPX",                                  // 726
    "Errore nell'accesso a TCPCFG.DLL",            // 727
    "Nessun adattatore Accesso Remoto per IP",     // 728
    "SLIP richiede l'IP",                          // 729
    "Proiezione non completa",                     // 730
    "Protocollo non configurato",                  // 731
    "Errore PPP",                                  // 732
    "Errore PPP",                                  // 733
    "Errore PPP",                                  // 734
    "Errore PPP",                                  // 735
    "Errore PPP",                                  // 736
    "Errore PPP",                                  // 737
    "Errore PPP",                                  // 738
    "Impossibile usare le credenziali di logon",   // 739
    "Errore di configurazione TAPI",               // 740
    "Nessuna codifica locale",                     // 741
    "Nessuna codifica remota",                     // 742
    "Il server remoto richiede la codifica",       // 743
    "Conflitto sul numero di rete IPX",            // 744
    "SMM non corretto",                            // 745
    "SMM non inizializzato",                       // 746
    "Nessun MAC per la porta",                     // 747
    "Timeout SMM",                                 // 748
    "Numero telefonico errato",                    // 749
    "Modulo errato",                               // 750
};
} // namespace

QString RasErrorText(qint32 code)
{
    if (code >= firstCode && code < firstCode + int(errorTexts.size()))
        return QString::fromUtf8(errorTexts[std::size_t(code - firstCode)]);
    return QStringLiteral("Errore non previsto (Cod. ") + QString::number(code) + QStringLiteral(").");
}

QString RasStateText(qint32 state)
{
    switch (state) {
    case 0:
        return QStringLiteral("Apertura della porta seriale in corso...");
    case 1:
        return QStringLiteral("Porta seriale aperta.");
    case 2:
    case 3:
        return QStringLiteral("Chiamata in corso...");
    case 4:
        return QStringLiteral("Modem rilevato.");
    case 5:
        return QStringLiteral("Controllo accesso in corso...");
    case 14:
        return QStringLiteral("Accesso convalidato");
    case 19:
        return QStringLiteral("Accesso al server in corso...");
    case 21:
        return QStringLiteral("Accesso alla rete in corso...");
    case 4099:
        return QStringLiteral("Password scaduta.");
    case 8192:
        return QStringLiteral("Connessione effettuata.");
    case 8193:
        return QStringLiteral("Disconnessione effettuata.");
    default:
        break;
    }
    // Steps the user need not follow: authentication details, callbacks, paused states.
    if ((state >= 6 && state <= 13) || (state >= 15 && state <= 18) || state == 20 || state == 600 ||
        (state >= 4096 && state <= 4098))
        return {};
    return QStringLiteral("Errore. Stato non previsto (Cod. ") + QString::number(state) +
           QStringLiteral(").");
}
