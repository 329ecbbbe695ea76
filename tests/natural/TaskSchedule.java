import natural.tasks.*;

/** Connects to the Task Scheduler and defines a daily task (without registering it). */
public class TaskSchedule {
    public static void main(String[] args) {
        try (TaskScheduler service = new TaskScheduler()) {
            service.Connect();
            ITaskFolder root = service.GetFolder("\\");
            System.out.println("folder " + root.getPath());
            ITaskDefinition task = service.NewTask(0);
            task.getRegistrationInfo().setDescription("Cleans the temporary folder");
            IDailyTrigger daily = (IDailyTrigger) task.getTriggers().Create(_TASK_TRIGGER_TYPE2.TASK_TRIGGER_DAILY);
            daily.setStartBoundary("2026-12-09T03:00:00");
            daily.setDaysInterval((short) 1);
            IExecAction action = (IExecAction) task.getActions().Create(_TASK_ACTION_TYPE.TASK_ACTION_EXEC);
            action.setPath("cmd.exe");
            System.out.println(task.getXmlText());
        }
    }
}
