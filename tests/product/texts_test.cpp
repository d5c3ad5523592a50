#include "product/texts.h"

#include "product/languages.h"
#include "support/test_support.h"
#include "support/unique_resource.h"

#include "language_state_guard.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace {

// Every used offset in English; offset 131 is untranslated in English and reads French.
const std::map<int, std::wstring> kEnglishTexts = {
    {0, L"Installer"},
    {1, L"OK"},
    {2, L"Cancel"},
    {3, L"About '%1'"},
    {4, L"Exit"},
    {5, L"Back"},
    {6, L"Next"},
    {7, L"Install"},
    {8, L"Browse..."},
    {9, L"Start menu"},
    {10, L"Installation Folder Selection"},
    {11, L"OK"},
    {12, L"Failed"},
    {13, L"Uninstall %1"},
    {14, L"Select Installation Langage"},
    {15, L"Installation Method"},
    {16, L"Quick Installation (Recommended)"},
    {17, L"Advanced Installation"},
    {18, L"%1 Examples"},
    {100, L"'%1' Installation."},
    {101, L"Update from '%1' to '%2'."},
    {102, L"'%1' is already installed."},
    {103, L"A more recent Version (%1) is already installed."},
    {104, L"Do you confirm Reinstallation ?"},
    {105, L"Click on '%1' to continue or on '%2' to exit Installation."},
    {106, L"Click on '%1' to continue."},
    {107, L"Click on '%1' to exit Installation."},
    {108, L"Click on '%1' to start Installation."},
    {109, L""},
    {110, L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?"},
    {111, L"Select '%1' Installation Folder."},
    {112, L"Create a Shortcut in the following Menu:"},
    {113, L"Create a Shortcut on the Desktop."},
    {114, L"Preparing Installation..."},
    {115, L"Copying File  %1..."},
    {117, L"Shortcuts Creation..."},
    {118, L"Registry Data Writing..."},
    {119, L"Installation Data Writing..."},
    {120, L"Installation is complete."},
    {121, L"Installation failed (Error Code %1)."},
    {122, L"Installation Options"},
    {123, L"Installation Folder: %1."},
    {124, L"Creating a Shortcut in the Start Menu (Folder %1)."},
    {125, L"Creating a Shortcut on the Desktop."},
    {126, L"You should have Administrator Rights in order to proceed to Installation."},
    {127, L"You should close '%1' before continuing Installation."},
    {128, L"The Record of an interrupted Installation cannot be read; it has been left as it is:\r\n%1"},
    {129, L"'%1' will be installed in the selected Langage, but the Installer, still under translation,  "
          L"shall run in English."},
    {130, L"An interrupted Installation of '%1' has been undone, except for:\r\n%2"},
    {131, L"Mise \u00E0 jour de DirectX..."},
    {132, L"An interrupted Installation of '%1' has been undone."},
    {134, L"The Record of an interrupted Installation does not belong to an Administrator; it has been left as it "
          L"is:\r\n%1"},
};

const std::map<int, std::wstring> kFrenchTexts = {
    {0, L"Programme d'installation"},
    {1, L"OK"},
    {2, L"Annuler"},
    {3, L"\u00C0 propos de '%1'"},
    {4, L"Quitter"},
    {5, L"Pr\u00E9c\u00E9dent"},
    {6, L"Suivant"},
    {7, L"Installer"},
    {8, L"Parcourir..."},
    {9, L"Menu D\u00E9marrer"},
    {10, L"S\u00E9lection du dossier d'installation"},
    {11, L"OK"},
    {12, L"\u00C9chec"},
    {13, L"D\u00E9sinstaller %1"},
    {14, L"Langage d'installation"},
    {15, L"M\u00E9thode d'installation"},
    {16, L"Installation rapide (recommand\u00E9e)"},
    {17, L"Installation avanc\u00E9e"},
    {18, L"Exemples %1"},
    {100, L"Installation de '%1'."},
    {101, L"Mise \u00E0 jour de '%1' vers '%2'."},
    {102, L"'%1' est d\u00E9j\u00E0 install\u00E9."},
    {103, L"Une version plus r\u00E9cente (%1) est d\u00E9j\u00E0 install\u00E9e."},
    {104, L"Confirmez-vous la r\u00E9installation ?"},
    {105, L"Cliquez sur '%1' pour continuer, sur '%2' pour quitter."},
    {106, L"Cliquez sur '%1' pour continuer."},
    {107, L"Cliquez sur '%1' pour quitter l'installation."},
    {108, L"Cliquez sur '%1' pour d\u00E9marrer l'installation."},
    {109, L""},
    {110, L"L'installation n'est pas termin\u00E9e.\r\n\r\n"
          L"Confirmez-vous malgr\u00E9 tout vouloir quitter l'installation ?"},
    {111, L"S\u00E9lectionnez le dossier d'installation de '%1'."},
    {112, L"Cr\u00E9er un raccourci dans le menu suivant :"},
    {113, L"Cr\u00E9er un raccourci sur le Bureau."},
    {114, L"Pr\u00E9paration de l'installation..."},
    {115, L"Copie du fichier  %1..."},
    {117, L"Cr\u00E9ation des raccourcis..."},
    {118, L"\u00C9criture des donn\u00E9es du Registre..."},
    {119, L"\u00C9criture des donn\u00E9es d'installation..."},
    {120, L"L'installation est termin\u00E9e."},
    {121, L"L'installation a \u00E9chou\u00E9 (code d'erreur %1)."},
    {122, L"Options d'installation"},
    {123, L"Dossier d'installation : %1."},
    {124, L"Cr\u00E9ation d'un raccourci dans le menu D\u00E9marrer (dossier %1)."},
    {125, L"Cr\u00E9ation d'un raccourci sur le Bureau."},
    {126, L"Vous devez disposer des droits d'administrateur pour proc\u00E9der \u00E0 l'installation."},
    {127, L"Vous devez fermer '%1' avant de poursuivre l'installation."},
    {128, L"Le journal d'une installation interrompue ne peut pas \u00EAtre lu ; il a \u00E9t\u00E9 laiss\u00E9 tel quel :\r\n%1"},
    {129, L"'%1' sera install\u00E9 dans le Langage s\u00E9lectionn\u00E9, mais le programme d'installation, "
          L"dont la traduction est en cours, fonctionnera en anglais."},
    {130, L"Une installation interrompue de '%1' a \u00E9t\u00E9 annul\u00E9e, sauf :\r\n%2"},
    {131, L"Mise \u00E0 jour de DirectX..."},
    {132, L"Une installation interrompue de '%1' a \u00E9t\u00E9 annul\u00E9e."},
    {134, L"Le journal d'une installation interrompue n'appartient pas \u00E0 un administrateur ; il a "
          L"\u00E9t\u00E9 laiss\u00E9 tel quel :\r\n%1"},
};

class Texts : public testing::Test {
protected:
    LanguageStateGuard guard_;
};

TEST_F(Texts, EveryOffsetInEnglishAndFrench)
{
    for (const auto& [language, texts] : {std::pair(kEnglish, &kEnglishTexts), std::pair(kFrench, &kFrenchTexts)}) {
        SetLanguage(language);
        for (const auto& [offset, text] : *texts)
            EXPECT_EQ(LoadText(offset), text) << "language " << language << " offset " << offset;
    }
}

TEST_F(Texts, UntranslatedTextFallsBackToEnglishThenFrench)
{
    SetLanguage(2);
    EXPECT_EQ(LoadText(6), L"Weiter");
    EXPECT_EQ(LoadText(131), L"Mise \u00E0 jour de DirectX...");
    EXPECT_EQ(TextIdentifier(6), 3006u);
    EXPECT_EQ(TextIdentifier(131), 1131u);
    SetLanguage(kEnglish);
    EXPECT_EQ(TextIdentifier(131), 1131u);
    EXPECT_EQ(TextIdentifier(6), 2006u);
    SetLanguage(kFrench);
    EXPECT_EQ(TextIdentifier(6), 1006u);
}

TEST_F(Texts, LanguageWithoutInstallerTextsReadsEnglish)
{
    for (LanguageIndex untranslated : {5, 6, 10, 14, 16, 19}) {
        SetLanguage(untranslated);
        EXPECT_EQ(LoadText(6), L"Next") << untranslated;
        EXPECT_EQ(LoadText(14), L"Select Installation Langage") << untranslated;
        EXPECT_EQ(LoadText(131), L"Mise \u00E0 jour de DirectX...") << untranslated;
        EXPECT_EQ(TextIdentifier(6), 2006u) << untranslated;
    }
}

TEST_F(Texts, IdentifierWithoutTextGivesTheEmptyText)
{
    for (LanguageIndex language : {kFrench, kEnglish, 2}) {
        SetLanguage(language);
        for (int unused : {19, 20, 21, 116, 133, 500})
            EXPECT_EQ(LoadText(unused), L"") << language << " " << unused;
        EXPECT_EQ(LoadText(109), L"") << language;
    }
    EXPECT_EQ(LoadResourceString(59999), L"");
}

TEST_F(Texts, EmptyResourceModuleMeansTheExecutable)
{
    SetLanguage(kEnglish);
    ASSERT_EQ(GetLanguageState().resourceModule, nullptr);
    EXPECT_EQ(LoadText(7), L"Install");
    EXPECT_EQ(GetLanguageState().resourceModule, ::GetModuleHandleW(nullptr));
}

TEST_F(Texts, ResourceModuleWithoutTheTextFallsBackToTheExecutable)
{
    SetLanguage(kEnglish);
    kv::unique_module blank(::LoadLibraryExW(testing_support::BuiltFile(L"TAVELO_BLANK_MODULE").c_str(), nullptr,
                                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(blank);
    GetLanguageState().resourceModule = blank.get();
    EXPECT_EQ(LoadText(7), L"Install");
    EXPECT_EQ(LoadText(131), L"Mise \u00E0 jour de DirectX...");
    SetLanguage(kFrench);
}

TEST_F(Texts, TranslatedLanguagesUntranslatedTextReadsEnglish)
{
    SetLanguage(2);
    kv::unique_module module(::LoadLibraryExW(testing_support::BuiltFile(L"TAVELO_UNTRANSLATED_MODULE").c_str(),
                                              nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(module);
    GetLanguageState().resourceModule = module.get();
    EXPECT_EQ(LoadText(6), L"Next");
    EXPECT_EQ(TextIdentifier(6), 2006u);
    EXPECT_EQ(LoadText(7), L"Installieren") << "the executable's German text where the module has none";
    SetLanguage(kFrench);
}

TEST(FormatText, NumberedArgumentsInAnyOrder)
{
    EXPECT_EQ(FormatText(L"Update from '%1' to '%2'.", L"Tavelo 7.01h", L"Tavelo 7.01j"),
              L"Update from 'Tavelo 7.01h' to 'Tavelo 7.01j'.");
    EXPECT_EQ(FormatText(L"%2 before %1", std::wstring(L"one"), std::wstring(L"two")), L"two before one");
    EXPECT_EQ(FormatText(L"%1, %1 and %1", L"x"), L"x, x and x");
}

TEST(FormatText, TwoPercentSignsGiveOne)
{
    EXPECT_EQ(FormatText(L"100%% of %1", L"Tavelo"), L"100% of Tavelo");
}

TEST(FormatText, LineBreaksStay)
{
    EXPECT_EQ(FormatText(L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?"),
              L"Installation is not complete.\r\n\r\nDo you still confirm exit Installation ?");
    EXPECT_EQ(FormatText(L"%1\r\n%2", L"first", L"second"), L"first\r\nsecond");
}

TEST(FormatText, ArgumentsAreInsertedAsTheyAre)
{
    EXPECT_EQ(FormatText(L"Installation Folder: %1.", L"C:\\Program Files\\%1 100%"),
              L"Installation Folder: C:\\Program Files\\%1 100%.");
}

TEST(FormatText, MissingArgumentsAndEmptyTextGiveEmptyTexts)
{
    EXPECT_EQ(FormatText(L"[%1] [%2] [%9]", L"only"), L"[only] [] []");
    EXPECT_EQ(FormatText(L""), L"");
    EXPECT_EQ(FormatText(L"", L"ignored"), L"");
}

TEST_F(Texts, FormattedTextsOfTheWizard)
{
    SetLanguage(kEnglish);
    EXPECT_EQ(FormatText(LoadText(105), LoadText(6), LoadText(2)),
              L"Click on 'Next' to continue or on 'Cancel' to exit Installation.");
    SetLanguage(kFrench);
    EXPECT_EQ(FormatText(LoadText(105), LoadText(6), LoadText(2)),
              L"Cliquez sur 'Suivant' pour continuer, sur 'Annuler' pour quitter.");
}

TEST_F(Texts, InstallerTitleWithAndWithoutTheProduct)
{
    SetLanguage(kEnglish);
    EXPECT_EQ(InstallerTitle(false), L"Installer");
    EXPECT_EQ(InstallerTitle(true), L"Installer \u2013 Tavelo 7.01j");
    SetLanguage(kFrench);
    EXPECT_EQ(InstallerTitle(true), L"Programme d'installation \u2013 Tavelo 7.01j");
    SetLanguage(11);
    EXPECT_EQ(InstallerTitle(true), L"Programma di installazione \u2013 Tavelo 7.01j");
}

} // namespace
