import natural.wmi.*;

/** Lists the running processes through WMI. */
public class WmiProcesses {
    public static void main(String[] args) {
        try (SWbemLocator locator = new SWbemLocator()) {
            ISWbemServices services = locator.ConnectServer(".", "root\\cimv2");
            for (ISWbemObject process : services.ExecQuery("SELECT * FROM Win32_Process")) {
                ISWbemPropertySet properties = process.getProperties_();
                System.out.printf("%6d %s%n", properties.Item("ProcessId").getValue().asInt(),
                        properties.Item("Name").getValue().asString());
            }
            ISWbemObject system = services.Get("Win32_OperatingSystem=@");
            for (ISWbemProperty property : system.getProperties_())
                System.out.println(property.getName() + " = " + property.getValue());
        }
    }
}
