import natural.ado.*;

/**
 * Builds a recordset in memory, adds rows and reads them back. Wine's type
 * library lacks Fields.Append (its default value cannot be read), so it is
 * called by name.
 */
public class AdoRecordset {
    public static void main(String[] args) {
        try (Recordset rs = new Recordset()) {
            rs.setCursorLocation(CursorLocationEnum.adUseClient);
            rs.getFields().invoke$("Append", "Name", DataTypeEnum.adVarWChar, 40);
            rs.getFields().invoke$("Append", "Age", DataTypeEnum.adInteger);
            rs.Open();
            rs.AddNew(new Object[] {"Name", "Age"}, new Object[] {"Ada", 36});
            rs.AddNew(new Object[] {"Name", "Age"}, new Object[] {"Alan", 41});
            rs.Update();
            System.out.println(rs.getRecordCount() + " records");
            for (rs.MoveFirst(); !rs.getEOF(); rs.MoveNext()) {
                StringBuilder line = new StringBuilder();
                for (Field field : rs.getFields())
                    line.append(field.getName()).append('=').append(field.getValue()).append(' ');
                System.out.println(line.toString().trim());
            }
            System.out.println(rs.getFields().getItem("Age").getValue().asInt() + " is the last age");
        }
    }
}
