import mvx.wmi.ISWbemObject;
import mvx.wmi.ISWbemObjectSet;
import mvx.wmi.ISWbemServices;
import mvx.wmi.SWbemLocator;

/** WMI through the bridge: the operating system's caption. */
public class BridgeWmi {
    public static void main(String[] args) {
        try (SWbemLocator locator = new SWbemLocator()) {
            ISWbemServices services = locator.getISWbemLocator().ConnectServer();
            ISWbemObjectSet set = services.ExecQuery("SELECT * FROM Win32_OperatingSystem");
            int count = 0;
            String caption = null;
            for (ISWbemObject os : set) {
                caption = os.getProperties_().Item("Caption").getValue().asString();
                ++count;
            }
            Checks.check(count == 1, "one operating system");
            Checks.check(caption != null && caption.contains("Windows"), "its caption: " + caption);
        }
    }
}
