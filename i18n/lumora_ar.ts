<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ar">
<context>
    <name></name>
    <message id="admin.title">
        <source>Administration</source>
        <translation>لوحة الإدارة</translation>
    </message>
    <message id="admin.subtitle">
        <source>Tools for administrators</source>
        <translation>أدوات خاصة بالمسؤولين</translation>
    </message>
    <message id="admin.users">
        <source>Manage users</source>
        <translation>إدارة المستخدمين</translation>
    </message>
    <message id="admin.metrics">
        <source>Usage metrics</source>
        <translation>إحصاءات الاستخدام</translation>
    </message>
    <message id="admin.forcePassword">
        <source>Force password reset</source>
        <translation>فرض إعادة تعيين كلمة المرور</translation>
    </message>
    <message id="admin.comingSoon">
        <source>Coming soon</source>
        <translation>قريبًا</translation>
    </message>
    <message id="admin.openWeb">
        <source>Open administration web page</source>
        <translation>فتح صفحة الإدارة على الويب</translation>
    </message>
    <message id="admin.open">
        <source>Administration</source>
        <translation>الإدارة</translation>
    </message>
    <message id="appearance.system">
        <source>System</source>
        <translation>حسب النظام</translation>
    </message>
    <message id="appearance.light">
        <source>Light</source>
        <translation>فاتح</translation>
    </message>
    <message id="appearance.dark">
        <source>Dark</source>
        <translation>داكن</translation>
    </message>
    <message id="connectivity.cloud">
        <source>Cloud service</source>
        <translation>الخدمة السحابية</translation>
    </message>
    <message id="connectivity.localMesh">
        <source>Local mesh</source>
        <translation>الشبكة المحلية المتشابكة</translation>
    </message>
    <message id="connectivity.noPeers">
        <source>No other Lumora clients found on this network yet.</source>
        <translation>لم يُعثر بعد على أجهزة أخرى تستخدم Lumora على هذه الشبكة.</translation>
    </message>
    <message id="language.system">
        <source>System</source>
        <translation>لغة النظام</translation>
    </message>
    <message id="language.english">
        <source>English</source>
        <translation>الإنجليزية</translation>
    </message>
    <message id="language.arabic">
        <source>Arabic</source>
        <translation>العربية</translation>
    </message>
    <message id="login.subtitle">
        <source>Sign in to your messages</source>
        <translation>سجّل الدخول إلى رسائلك</translation>
    </message>
    <message id="login.username">
        <source>Username</source>
        <translation>اسم المستخدم</translation>
    </message>
    <message id="login.password">
        <source>Password</source>
        <translation>كلمة المرور</translation>
    </message>
    <message id="login.signIn">
        <source>Sign In</source>
        <translation>تسجيل الدخول</translation>
    </message>
    <message id="login.apiHint">
        <source>You can change the service address in Settings.</source>
        <translation>يمكنك تغيير عنوان الخدمة من الإعدادات.</translation>
    </message>
    <message id="password.title">
        <source>Change Password</source>
        <translation>تغيير كلمة المرور</translation>
    </message>
    <message id="password.current">
        <source>Current password</source>
        <translation>كلمة المرور الحالية</translation>
    </message>
    <message id="password.new">
        <source>New password</source>
        <translation>كلمة المرور الجديدة</translation>
    </message>
    <message id="password.confirm">
        <source>Confirm new password</source>
        <translation>تأكيد كلمة المرور الجديدة</translation>
    </message>
    <message id="password.submit">
        <source>Update Password</source>
        <translation>تحديث كلمة المرور</translation>
    </message>
    <message id="password.required">
        <source>You must change your password before continuing.</source>
        <translation>يجب عليك تغيير كلمة المرور قبل المتابعة.</translation>
    </message>
    <message id="password.mismatch">
        <source>The new passwords do not match.</source>
        <translation>كلمتا المرور الجديدتان غير متطابقتين.</translation>
    </message>
    <message id="common.cancel">
        <source>Cancel</source>
        <translation>إلغاء</translation>
    </message>
    <message id="profile.displayName">
        <source>Display name</source>
        <translation>الاسم المعروض</translation>
    </message>
    <message id="profile.email">
        <source>Email</source>
        <translation>البريد الإلكتروني</translation>
    </message>
    <message id="profile.bio">
        <source>Bio</source>
        <translation>نبذة تعريفية</translation>
    </message>
    <message id="profile.countryCode">
        <source>Country code (e.g. SA)</source>
        <translation>رمز الدولة (مثل SA)</translation>
    </message>
    <message id="profile.save">
        <source>Save</source>
        <translation>حفظ</translation>
    </message>
    <message id="profile.saved">
        <source>Profile saved.</source>
        <translation>تم حفظ الملف الشخصي.</translation>
    </message>
    <message id="profile.signOut">
        <source>Sign Out</source>
        <translation>تسجيل الخروج</translation>
    </message>
    <message id="settings.title">
        <source>Settings</source>
        <translation>الإعدادات</translation>
    </message>
    <message id="settings.appearance">
        <source>Appearance</source>
        <translation>المظهر</translation>
    </message>
    <message id="settings.language">
        <source>Language</source>
        <translation>اللغة</translation>
    </message>
    <message id="settings.connectivity">
        <source>Connectivity</source>
        <translation>الاتصال</translation>
    </message>
    <message id="settings.api">
        <source>Service</source>
        <translation>الخدمة</translation>
    </message>
    <message id="settings.apiBaseURL">
        <source>Service address</source>
        <translation>عنوان الخدمة</translation>
    </message>
    <message id="settings.saveAPI">
        <source>Save address</source>
        <translation>حفظ العنوان</translation>
    </message>
    <message id="settings.apiNote">
        <source>When set, the LUMORA_API_BASE_URL environment variable overrides this address.</source>
        <translation>عند تعيين متغير البيئة LUMORA_API_BASE_URL، تكون له الأولوية على هذا العنوان.</translation>
    </message>
    <message id="tab.inbox">
        <source>Inbox</source>
        <translation>صندوق الوارد</translation>
    </message>
    <message id="tab.profile">
        <source>Profile</source>
        <translation>الملف الشخصي</translation>
    </message>
    <message id="tab.settings">
        <source>Settings</source>
        <translation>الإعدادات</translation>
    </message>
    <message id="inbox.title">
        <source>Messages</source>
        <translation>الرسائل</translation>
    </message>
    <message id="inbox.noMessages">
        <source>No messages yet</source>
        <translation>لا توجد رسائل بعد</translation>
    </message>
    <message id="inbox.conversation">
        <source>Conversation</source>
        <translation>محادثة</translation>
    </message>
    <message id="inbox.unreadCount" numerus="yes">
        <source>%n unread</source>
        <translation>
            <numerusform>لا رسائل غير مقروءة</numerusform>
            <numerusform>رسالة واحدة غير مقروءة</numerusform>
            <numerusform>رسالتان غير مقروءتين</numerusform>
            <numerusform>%n رسائل غير مقروءة</numerusform>
            <numerusform>%n رسالة غير مقروءة</numerusform>
            <numerusform>%n رسالة غير مقروءة</numerusform>
        </translation>
    </message>
    <message id="chat.placeholder">
        <source>Write a message…</source>
        <translation>اكتب رسالة…</translation>
    </message>
    <message id="chat.attach">
        <source>Attach file</source>
        <translation>إرفاق ملف</translation>
    </message>
    <message id="chat.emoji">
        <source>Emoji</source>
        <translation>الرموز التعبيرية</translation>
    </message>
    <message id="chat.notSent">
        <source>Not sent</source>
        <translation>لم تُرسَل</translation>
    </message>
    <message id="chat.retry">
        <source>Retry</source>
        <translation>إعادة المحاولة</translation>
    </message>
    <message id="chat.anotherFile">
        <source>Another file…</source>
        <translation>ملف آخر…</translation>
    </message>
    <message id="chat.discard">
        <source>Discard</source>
        <translation>تجاهل</translation>
    </message>
    <message id="chat.sending">
        <source>Sending…</source>
        <translation>جارٍ الإرسال…</translation>
    </message>
    <message id="verified">
        <source>Verified</source>
        <translation>موثّق</translation>
    </message>
    <message id="Lumora">
        <source>Lumora</source>
        <translation>Lumora</translation>
    </message>
    <message id="lumora">
        <source>lumora</source>
        <translation>lumora</translation>
    </message>
    <message id="@%1">
        <source>@%1</source>
        <translation>@%1</translation>
    </message>
    <message id="cli.signedOut">
        <source>Not signed in.</source>
        <translation>لم يتم تسجيل الدخول.</translation>
    </message>
    <message id="cli.signedInAs">
        <source>Signed in as %1.</source>
        <translation>تم تسجيل الدخول باسم %1.</translation>
    </message>
    <message id="cli.signedOutDone">
        <source>Signed out.</source>
        <translation>تم تسجيل الخروج.</translation>
    </message>
    <message id="cli.passwordChanged">
        <source>Password changed.</source>
        <translation>تم تغيير كلمة المرور.</translation>
    </message>
    <message id="cli.passwordPrompt">
        <source>Password for %1: </source>
        <translation>كلمة المرور للحساب %1: </translation>
    </message>
    <message id="cli.currentPasswordPrompt">
        <source>Current password: </source>
        <translation>كلمة المرور الحالية: </translation>
    </message>
    <message id="cli.newPasswordPrompt">
        <source>New password: </source>
        <translation>كلمة المرور الجديدة: </translation>
    </message>
    <message id="keychain.unavailable">
        <source>Secure storage is unavailable: %1</source>
        <translation>التخزين الآمن غير متاح: %1</translation>
    </message>
    <message id="tray.open">
        <source>Open Lumora</source>
        <translation>افتح Lumora</translation>
    </message>
    <message id="tray.settings">
        <source>Settings…</source>
        <translation>الإعدادات…</translation>
    </message>
    <message id="tray.quit">
        <source>Quit Lumora</source>
        <translation>أنهِ Lumora</translation>
    </message>
    <message id="inbox.refresh">
        <source>Refresh</source>
        <translation>تحديث</translation>
    </message>
    <message id="chat.back">
        <source>Back</source>
        <translation>رجوع</translation>
    </message>
    <message id="chat.send">
        <source>Send</source>
        <translation>إرسال</translation>
    </message>
    <message id="common.close">
        <source>Close</source>
        <translation>إغلاق</translation>
    </message>
    <message id="error.redirectedElsewhere">
        <source>The service redirected to another address, %1. Lumora sends your password and session only to the service address itself.</source>
        <translation>أعادت الخدمة التوجيه إلى عنوان آخر، %1. لا يرسل Lumora كلمة المرور أو الجلسة إلا إلى عنوان الخدمة نفسه.</translation>
    </message>
    <message id="error.insecureTransport">
        <source>Lumora does not send your password or session over plain HTTP to %1. Use an https:// address.</source>
        <translation>لا يرسل Lumora كلمة المرور أو الجلسة عبر HTTP غير المشفّر إلى %1. استخدم عنوانًا يبدأ بـ https://.</translation>
    </message>
    <message id="error.otherService">
        <source>Your session was issued by another service address. Please sign in again.</source>
        <translation>صدرت جلستك عن عنوان خدمة آخر. يُرجى تسجيل الدخول مجددًا.</translation>
    </message>
    <message id="error.replyTooLarge">
        <source>The service's reply is larger than %1 MB; Lumora stopped reading it.</source>
        <translation>ردّ الخدمة أكبر من %1 ميغابايت؛ توقّف Lumora عن قراءته.</translation>
    </message>
    <message id="error.deadline">
        <source>The service did not finish answering within %1 minutes.</source>
        <translation>لم تُكمل الخدمة ردّها خلال %1 دقيقة.</translation>
    </message>
    <message id="session.expired">
        <source>Your session expired. Please sign in again.</source>
        <translation>انتهت صلاحية جلستك. يُرجى تسجيل الدخول مجددًا.</translation>
    </message>
    <message id="session.addressChanged">
        <source>You were signed out because the service address changed. Please sign in again.</source>
        <translation>سُجّل خروجك لأن عنوان الخدمة تغيّر. يُرجى تسجيل الدخول مجددًا.</translation>
    </message>
    <message id="session.otherService">
        <source>The saved session belongs to %1, not to %2. Please sign in again.</source>
        <translation>الجلسة المحفوظة تخص %1 وليس %2. يُرجى تسجيل الدخول مجددًا.</translation>
    </message>
    <message id="settings.insecureAddress">
        <source>Not secure: Lumora will not send your password or session to this address over plain HTTP.</source>
        <translation>غير آمن: لن يرسل Lumora كلمة المرور أو الجلسة إلى هذا العنوان عبر HTTP غير المشفّر.</translation>
    </message>
    <message id="error.status">
        <source>HTTP %1</source>
        <translation>HTTP %1</translation>
    </message>
    <message id="error.decoding">
        <source>Decoding error: %1</source>
        <translation>خطأ في قراءة الرد: %1</translation>
    </message>
    <message id="error.fileUnreadable">
        <source>The file could not be read: %1</source>
        <translation>تعذّرت قراءة الملف: %1</translation>
    </message>
    <message id="error.isDirectory">
        <source>%1 is a directory, not a file</source>
        <translation>‏%1 مجلد وليس ملفًا</translation>
    </message>
    <message id="error.invalidAddress">
        <source>Invalid API URL</source>
        <translation>عنوان الخدمة غير صالح</translation>
    </message>
    <message id="error.sessionExpired">
        <source>Session expired. Please sign in again.</source>
        <translation>انتهت صلاحية الجلسة. يُرجى تسجيل الدخول مجددًا.</translation>
    </message>
    <message id="error.emptyReply">
        <source>Empty response</source>
        <translation>رد فارغ من الخدمة</translation>
    </message>
    <message id="error.timedOut">
        <source>The request timed out.</source>
        <translation>انتهت مهلة الطلب.</translation>
    </message>
    <message id="error.badReply">
        <source>Bad server response</source>
        <translation>رد غير صالح من الخادم</translation>
    </message>
    <message id="error.clientClosed">
        <source>The client was closed.</source>
        <translation>أُغلق العميل.</translation>
    </message>
    <message id="error.tooManyRedirects">
        <source>Too many redirects.</source>
        <translation>إعادات توجيه كثيرة جدًا.</translation>
    </message>
    <message id="mesh.idle">
        <source>Idle</source>
        <translation>خامل</translation>
    </message>
    <message id="mesh.stopped">
        <source>Stopped</source>
        <translation>متوقف</translation>
    </message>
    <message id="mesh.starting">
        <source>Local Mesh placeholder — Bonjour `_lumora._tcp`</source>
        <translation>الشبكة المحلية — Bonjour ‎`_lumora._tcp`</translation>
    </message>
    <message id="mesh.listenerFailed">
        <source>Listener failed: %1</source>
        <translation>تعذّر الاستماع: %1</translation>
    </message>
    <message id="mesh.browse">
        <source>Browse: %1</source>
        <translation>البحث: %1</translation>
    </message>
    <message id="mesh.advertise">
        <source>Advertise: %1</source>
        <translation>الإعلان: %1</translation>
    </message>
    <message id="mesh.ready">
        <source>ready</source>
        <translation>جاهز</translation>
    </message>
    <message id="mesh.registering">
        <source>registering</source>
        <translation>جارٍ التسجيل</translation>
    </message>
    <message id="mesh.waitingForDaemon">
        <source>waiting for the daemon</source>
        <translation>في انتظار خدمة Avahi</translation>
    </message>
    <message id="mesh.renamed">
        <source>name collision, renamed to %1</source>
        <translation>الاسم مستخدم، أعيدت التسمية إلى %1</translation>
    </message>
    <message id="mesh.failed">
        <source>failed: %1</source>
        <translation>فشل: %1</translation>
    </message>
    <message id="settings.localPreset">
        <source>Local</source>
        <translation>محلي</translation>
    </message>
    <message id="cli.nothingToSend">
        <source>Nothing to send: give --text or --attach.</source>
        <translation>لا شيء للإرسال: استخدم ‎--text أو ‎--attach.</translation>
    </message>
    <message id="cli.sent">
        <source>Sent message %1.</source>
        <translation>أُرسلت الرسالة %1.</translation>
    </message>
    <message id="cli.noPeers">
        <source>No peers seen.</source>
        <translation>لم يُعثر على أجهزة أخرى.</translation>
    </message>
    <message id="notify.newMessages" numerus="yes">
        <source>%n new messages</source>
        <translation>
            <numerusform>لا رسائل جديدة</numerusform>
            <numerusform>رسالة جديدة واحدة</numerusform>
            <numerusform>رسالتان جديدتان</numerusform>
            <numerusform>%n رسائل جديدة</numerusform>
            <numerusform>%n رسالة جديدة</numerusform>
            <numerusform>%n رسالة جديدة</numerusform>
        </translation>
    </message>
    <message id="notify.noText">
        <source>New message</source>
        <translation>رسالة جديدة</translation>
    </message>
    <message id="notify.open">
        <source>Open</source>
        <translation>افتح</translation>
    </message>
    <message id="notify.reply">
        <source>Reply</source>
        <translation>رُدّ</translation>
    </message>
    <message id="notify.replyPlaceholder">
        <source>Write a reply…</source>
        <translation>اكتب ردًا…</translation>
    </message>
    <message id="tray.unreadSummary">
        <source>Lumora — %1 in %2</source>
        <translation>Lumora — %1 في %2</translation>
    </message>
    <message id="tray.unreadMessages" numerus="yes">
        <source>%n unread</source>
        <translation>
            <numerusform>لا رسائل غير مقروءة</numerusform>
            <numerusform>رسالة واحدة غير مقروءة</numerusform>
            <numerusform>رسالتان غير مقروءتين</numerusform>
            <numerusform>%n رسائل غير مقروءة</numerusform>
            <numerusform>%n رسالة غير مقروءة</numerusform>
            <numerusform>%n رسالة غير مقروءة</numerusform>
        </translation>
    </message>
    <message id="tray.inConversations" numerus="yes">
        <source>%n conversations</source>
        <translation>
            <numerusform>لا محادثات</numerusform>
            <numerusform>محادثة واحدة</numerusform>
            <numerusform>محادثتين</numerusform>
            <numerusform>%n محادثات</numerusform>
            <numerusform>%n محادثة</numerusform>
            <numerusform>%n محادثة</numerusform>
        </translation>
    </message>
    <message id="window.titleUnread">
        <source>Lumora (%1)</source>
        <translation>Lumora (%1)</translation>
    </message>
    <message id="settings.notifications">
        <source>Notifications</source>
        <translation>الإشعارات</translation>
    </message>
    <message id="settings.notificationsOn">
        <source>Show a notification when a message arrives</source>
        <translation>أظهر إشعارًا عند وصول رسالة</translation>
    </message>
    <message id="notify.fromSender">
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message id="error.fileUnwritable">
        <source>The file could not be written: %1</source>
        <translation>تعذّرت كتابة الملف: %1</translation>
    </message>
    <message id="error.fileExists">
        <source>%1 already exists; Lumora does not overwrite it.</source>
        <translation>‏%1 موجود بالفعل؛ لا يكتب Lumora فوقه.</translation>
    </message>
    <message id="error.insecureMedia">
        <source>Lumora fetches files from other addresses only over HTTPS: %1</source>
        <translation>لا يجلب Lumora الملفات من عناوين أخرى إلا عبر HTTPS: %1</translation>
    </message>
    <message id="error.cancelled">
        <source>Cancelled.</source>
        <translation>أُلغي.</translation>
    </message>
    <message id="error.incomplete">
        <source>The file arrived incomplete; try again to resume it.</source>
        <translation>وصل الملف ناقصًا؛ أعد المحاولة لاستكماله.</translation>
    </message>
    <message id="error.alreadyDownloading">
        <source>This file is already being downloaded.</source>
        <translation>يجري تنزيل هذا الملف بالفعل.</translation>
    </message>
    <message id="error.notAPicture">
        <source>The picture could not be shown: %1</source>
        <translation>تعذّر عرض الصورة: %1</translation>
    </message>
    <message id="attachment.openPicture">
        <source>Open the picture</source>
        <translation>فتح الصورة</translation>
    </message>
    <message id="attachment.open">
        <source>Open</source>
        <translation>افتح</translation>
    </message>
    <message id="attachment.save">
        <source>Save</source>
        <translation>حفظ</translation>
    </message>
    <message id="attachment.progressPercent">
        <source>%1 %</source>
        <translation>%1٪</translation>
    </message>
    <message id="date.today">
        <source>Today</source>
        <translation>اليوم</translation>
    </message>
    <message id="date.yesterday">
        <source>Yesterday</source>
        <translation>أمس</translation>
    </message>
    <message id="date.atTime">
        <source>%1 at %2</source>
        <translation>%1 الساعة %2</translation>
    </message>
    <message id="shell.connecting">
        <source>Connecting…</source>
        <translation>جارٍ الاتصال…</translation>
    </message>
    <message id="shell.offline">
        <source>Offline — showing what was last loaded</source>
        <translation>غير متصل — يُعرض آخر ما حُمِّل</translation>
    </message>
    <message id="attachment.saveAs">
        <source>Save as…</source>
        <translation>حفظ باسم…</translation>
    </message>
    <message id="attachment.cancel">
        <source>Cancel</source>
        <translation>إلغاء</translation>
    </message>
    <message id="chat.removeAttachment">
        <source>Remove the file</source>
        <translation>أزل الملف</translation>
    </message>
    <message id="chat.sendingPercent">
        <source>Sending… %1 %</source>
        <translation>جارٍ الإرسال… %1٪</translation>
    </message>
    <message id="error.fileTooLarge">
        <source>File too large: the service takes files up to %1.</source>
        <translation>الملف أكبر من اللازم: تقبل الخدمة ملفات حتى %1.</translation>
    </message>
    <message id="error.fileTooLargeNoLimit">
        <source>File too large for the service.</source>
        <translation>الملف أكبر مما تقبله الخدمة.</translation>
    </message>
    <message id="a11y.separator">
        <source>, </source>
        <translation>، </translation>
    </message>
    <message id="a11y.you">
        <source>You</source>
        <translation>أنت</translation>
    </message>
    <message id="a11y.attachment">
        <source>file %1</source>
        <translation>ملف %1</translation>
    </message>
    <message id="switcher.field">
        <source>Go to conversation…</source>
        <translation>انتقل إلى محادثة…</translation>
    </message>
    <message id="switcher.none">
        <source>No conversation matches</source>
        <translation>لا محادثة تطابق</translation>
    </message>
    <message id="a11y.busy">
        <source>Loading…</source>
        <translation>جارٍ التحميل…</translation>
    </message>
    <message id="a11y.unavailable">
        <source>Unavailable</source>
        <translation>غير متاح</translation>
    </message>
</context>
</TS>
