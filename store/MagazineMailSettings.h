#pragma once
// What a magazine's mails carry beyond its record, and how replies to them are treated: kept
// in a table of our own (MagMailSetting, one row per magazine), so the magazine table keeps
// its columns. A magazine without a row has the defaults.
#include <QString>

struct MagazineMailSettings {
    enum class UnsubscribeAction { Suspend = 0, Delete = 1 };

    bool forceUtf8 = false;      // every mail as UTF-8, even when ISO-2022-JP would do
    QString unsubscribeAddress;  // empty: no List-Unsubscribe header
    QString unsubscribeUrl;      // https only; empty: mailto alone
    UnsubscribeAction unsubscribeAction = UnsubscribeAction::Suspend;
    int bounceLimit = 3;         // hard bounces that suspend a member
    // Where bounces go (the envelope sender); empty: the magazine's own address. Each member's
    // mail goes out from local+TOKEN@domain, so a bounce names its member whatever its format.
    QString returnPath;

    static constexpr int kMaxBounceLimit = 100;
    static constexpr int kMaxUrlLength = 500;
    // The member's token after '+' takes up to 46 of the 64 characters a local part may have.
    static constexpr int kMaxReturnPathLocal = 17;

    bool operator==(const MagazineMailSettings &) const = default;

    // Why the values cannot be saved, in Japanese; empty when they can. The address must be a
    // plain mail address and the URL an https URL without blanks, quotes, angle brackets or
    // control characters, so neither can ever break out of a header field.
    QString problem() const;
    // The URL check of problem(), for whoever writes the URL into a header.
    static bool isUnsubscribeUrl(const QString &url);

    // The row of the magazine, or the defaults; values that fail the checks above read as
    // not set. Throws StoreError when the store cannot be read.
    static MagazineMailSettings load(int magIdx);
    // Writes the row (one statement); throws StoreError on failure, and with problem()'s text
    // when it is not empty, so that no caller can store values a header could not carry.
    static void save(int magIdx, const MagazineMailSettings &settings);
    // Removes the row with the magazine (inside the caller's transaction).
    static void remove(int magIdx);
};
